// The desktop the hotkey controller tests type on. Front to back: draft
// (Editor, pid 7), photo (Viewer, pid 8), notes (Editor), inbox (Mail, pid 9),
// and the editor's minimised "old".
#pragma once

inline constexpr const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900], "visibleFrame": [0, 25, 1440, 875] } ],
  "apps": [
    { "pid": 7, "name": "Editor", "windows": [
        { "id": 70, "title": "draft", "frame": [100, 100, 600, 400] },
        { "id": 71, "title": "notes", "frame": [150, 150, 600, 400] },
        { "id": 72, "title": "old", "frame": [200, 200, 600, 400], "minimized": true } ] },
    { "pid": 8, "name": "Viewer", "windows": [ { "id": 80, "title": "photo", "frame": [800, 100, 500, 400] } ] },
    { "pid": 9, "name": "Mail", "windows": [ { "id": 90, "title": "inbox", "frame": [700, 300, 500, 400] } ] } ],
  "order": [70, 80, 71, 90, 72], "focus": 70 })";
