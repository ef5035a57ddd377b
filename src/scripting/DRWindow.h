// A top-level window of another application as scripts see it (the global
// "Window"), reached through the accessibility interface. Coordinates are
// the accessibility interface's: origin at the top-left corner of the
// primary screen, y downwards.
#pragma once

#include "DRAXUIElement.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class DRApp;
class DRSpace;
class JSExportClass;
class NSScreen;

class DRWindow : public DRAXUIElement {
public:
    // initWithElement:: the application is the running one of the
    // element's process (or the one given).
    explicit DRWindow(AXUIElementRef element, Ref<DRApp> app = nullptr);

    enum Direction { West = 0, East = 1, North = 2, South = 3 };
    // The lowercased name's direction; nothing for another name.
    static std::optional<Direction> directionFromString(const std::string& name);

    std::vector<Ref<DRWindow>> others() const;
    std::vector<Ref<DRWindow>> othersWithOptions(const Value& options) const;
    std::string title() const;
    std::optional<std::string> title1() const;
    bool isMain() const;
    bool isNormal() const;
    bool isFullScreen() const;
    bool isMinimized() const;
    bool isVisible() const;
    Ref<DRApp> app() const { return m_app; }
    Ref<NSScreen> screen() const;
    std::vector<Ref<DRSpace>> spaces() const;
    CGPoint topLeft() const;
    CGSize size() const;
    CGRect frame() const;
    bool setTopLeft(CGPoint point) const;
    bool setSize(CGSize size) const;
    bool setFrame(CGRect frame) const;
    bool setFullScreen(bool flag) const;
    bool maximize() const;
    bool minimize() const;
    bool unminimize() const;
    std::vector<Ref<DRWindow>> neighbors(const std::string& direction) const;
    bool raise() const;
    bool focus() const;
    bool focusClosestNeighbor(const std::string& direction) const;
    bool close() const;

    // The window-server number; 0 when it cannot be read.
    CGWindowID identifier() const;
    std::string subrole() const;

    static Ref<DRWindow> focused();
    static Ref<DRWindow> at(CGPoint point);
    static std::vector<Ref<DRWindow>> all(const Value& options);
    static std::vector<Ref<DRWindow>> recent();
    // Every window of every application, application by application.
    static std::vector<Ref<DRWindow>> windows();
    // The "visible" option: only windows whose isVisible equals it.
    static std::vector<Ref<DRWindow>> filteredByOptions(std::vector<Ref<DRWindow>> windows, const Value& options);

    // The other windows in the direction, closest (by distance and angle)
    // first.
    std::vector<Ref<DRWindow>> windowsInDirection(Direction direction) const;
    static bool focusFirstClosestWindow(const std::vector<Ref<DRWindow>>& windows);

    static const JSExportClass& exportClass();

private:
    Ref<DRApp> m_app;
};
