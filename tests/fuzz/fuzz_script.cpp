// Configuration scripts: the "#!" line that names a generating command is
// found in any text, and a found command is one trimmed line.
#include "FuzzTarget.h"

#include <scripting/DRShebangPreprocessor.h>

QV_FUZZ_TARGET(script)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    auto command = DRShebangPreprocessor::scanCommand(text);
    if (command) {
        fuzzRequire(!command->empty(), "a found command is not empty");
        fuzzRequire(command->find('\n') == std::string::npos, "a found command is one line");
        fuzzRequire(text.find("#!") != std::string::npos, "a command comes from a #! line");
    }
    auto quoted = DRShebangPreprocessor::shellQuoted(text);
    fuzzRequire(quoted.size() >= text.size(), "quoting keeps every character");
}
