// Lets another program produce a configuration script: when the text
// starts with a "#!" line, that line's command runs through the user's
// shell with the script's path, and its output is the script to evaluate.
#pragma once

#include <foundation/NSError.h>

#include <optional>
#include <string>

inline const std::string DRShebangPreprocessorErrorDomain = "DRShebangPreprocessorErrorDomain";

class DRPreprocessor {
public:
    virtual ~DRPreprocessor() = default;
};

class DRShebangPreprocessor : public DRPreprocessor {
public:
    // The command of a "#!" line at the start of the text (after leading
    // white space and blank lines): the rest of that line, trimmed. Nothing
    // when the text does not start with "#!" or the line names no command.
    static std::optional<std::string> scanCommand(const std::string& text);
    // The text to evaluate: the text itself when it has no command;
    // otherwise the command's output without its own "#!" line, or the
    // empty text with an error when the command fails.
    // With a time limit (seconds, 0 for none), a command that has not ended
    // by then is stopped and fails.
    static std::string process(const std::string& text, const std::string& path, Ref<NSError>* error, double timeLimit = 0);
    // A word the shell reads back as exactly the text.
    static std::string shellQuoted(const std::string& text);
};
