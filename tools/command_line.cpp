#include "tools/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool parseCount(const char* text, std::uint64_t limit, std::uint64_t& value) {
    if (!text || *text < '0' || *text > '9')
        return false;
    std::uint64_t result = 0;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9')
            return false;
        const std::uint64_t digit = static_cast<std::uint64_t>(*c - '0');
        if (digit > limit || result > (limit - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

bool parsePositive(const char* text, double limit, double& value) {
    // Digits with at most one point: strtod alone would also take "0x10",
    // "1e3", "inf" and leading blanks.
    if (!text)
        return false;
    const std::size_t whole = std::strspn(text, "0123456789");
    const std::size_t fraction =
        text[whole] == '.' ? std::strspn(text + whole + 1, "0123456789") : 0;
    const std::size_t length = whole + (text[whole] == '.' ? 1 + fraction : 0);
    if (whole + fraction == 0 || text[length] != '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    const double result = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0')
        return false;
    if (!(result > 0.0) || !(result <= limit))
        return false;
    value = result;
    return true;
}

bool parseFrameSize(const char* text, int& width, int& height) {
    if (!text)
        return false;
    const char* cross = std::strchr(text, 'x');
    if (!cross)
        return false;
    const std::string widthText(text, static_cast<std::size_t>(cross - text));
    std::uint64_t w = 0;
    std::uint64_t h = 0;
    if (!parseCount(widthText.c_str(), maxFrameSide, w) ||
        !parseCount(cross + 1, maxFrameSide, h) || w == 0 || h == 0) {
        return false;
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

int usageError(const char* command, const char* usage, const char* problem, const char* argument) {
    if (argument) {
        std::fprintf(stderr, "glasswake-tool %s: %s: %s\n", command, problem, argument);
    } else {
        std::fprintf(stderr, "glasswake-tool %s: %s\n", command, problem);
    }
    std::fputs(usage, stderr);
    return 2;
}

namespace {

bool parseValue(CommandOption& option, const char* text) {
    std::uint64_t number = 0;
    switch (option.kind) {
        case CommandOption::Kind::Count:
            if (!parseCount(text, option.high, number) || number < option.low)
                return false;
            *static_cast<std::uint64_t*>(option.value) = number;
            return true;
        case CommandOption::Kind::Rate:
            return parsePositive(text, static_cast<double>(option.high),
                                 *static_cast<double*>(option.value));
        case CommandOption::Kind::Size: {
            FrameSize& size = *static_cast<FrameSize*>(option.value);
            return parseFrameSize(text, size.width, size.height);
        }
        case CommandOption::Kind::Word:
            return std::strcmp(text, option.word) == 0;
        case CommandOption::Kind::Text:
            *static_cast<std::string*>(option.value) = text;
            return *text != '\0';
        case CommandOption::Kind::Flag:
            break;
    }
    return false;
}

}  // namespace

int parseCommandLine(const char* command, const char* usage, int argc, char** argv,
                     CommandOption* options, int optionCount, std::vector<const char*>* operands) {
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (operands && (optionsDone || argument[0] != '-' || argument[1] == '\0')) {
            operands->push_back(argument);
            continue;
        }
        if (operands && std::strcmp(argument, "--") == 0) {
            optionsDone = true;
            continue;
        }
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            std::fputs(usage, stdout);
            return -1;
        }
        CommandOption* option = nullptr;
        for (int k = 0; k < optionCount && !option; ++k) {
            option = std::strcmp(argument, options[k].name) == 0 ? &options[k] : nullptr;
        }
        if (!option) {
            return usageError(command, usage,
                              argument[0] == '-' ? "unknown option" : "unexpected argument",
                              argument);
        }
        option->given = true;
        if (option->kind == CommandOption::Kind::Flag) {
            *static_cast<bool*>(option->value) = true;
            continue;
        }
        if (i + 1 >= argc)
            return usageError(command, usage, "missing value after", argument);
        const char* text = argv[++i];
        if (!parseValue(*option, text)) {
            const std::string problem = std::string(option->name) + " needs " + option->needs;
            return usageError(command, usage, problem.c_str(), *text ? text : nullptr);
        }
    }
    return 0;
}
