#include "DRShebangPreprocessor.h"

#include "NSTaskDRExtension.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLineBreak(char c) { return c == '\n' || c == '\r'; }

// Where the "#!" starts after leading white space and line breaks; npos
// when the text does not start with one.
size_t shebangStart(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && (isBlank(text[i]) || isLineBreak(text[i]) || text[i] == '\f' || text[i] == '\v'))
        ++i;
    return text.compare(i, 2, "#!") == 0 ? i : std::string::npos;
}

}

std::optional<std::string> DRShebangPreprocessor::scanCommand(const std::string& text)
{
    size_t start = shebangStart(text);
    if (start == std::string::npos)
        return std::nullopt;
    // The command ends at the line break: an empty "#!" line must not take
    // the next line as its command.
    size_t begin = start + 2;
    size_t end = begin;
    while (end < text.size() && !isLineBreak(text[end]))
        ++end;
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    if (begin == end)
        return std::nullopt;
    return text.substr(begin, end - begin);
}

std::string DRShebangPreprocessor::shellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string DRShebangPreprocessor::process(const std::string& text, const std::string& path, Ref<NSError>* error, double timeLimit)
{
    auto command = scanCommand(text);
    if (!command)
        return text;
    // The path is one quoted word: blanks do not split it and nothing in a
    // file name runs as a command.
    std::string commandLine = *command + " " + shellQuoted(path);
    // The login shell that tells the search path and the command are each
    // bounded by the time limit.
    Ref<NSError> taskError;
    std::string output = NSTaskDRExtension::outputFromLaunchedTaskWithEnvironment(
        { { "PATH", NSTaskDRExtension::searchPath(timeLimit) } }, { "-c", commandLine }, &taskError, timeLimit);
    if (taskError) {
        if (error)
            *error = NSError::errorWithDomain(DRShebangPreprocessorErrorDomain, -1,
                { { NSLocalizedDescriptionKey, "Preprocessing failed." }, { NSUnderlyingErrorKey, Value(taskError) } });
        return {};
    }
    size_t start = shebangStart(output);
    if (start == std::string::npos)
        return output;
    // The output's own "#!" line goes; the line break that ends it stays.
    size_t end = start + 2;
    while (end < output.size() && !isLineBreak(output[end]))
        ++end;
    return output.substr(end);
}
