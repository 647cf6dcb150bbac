#include "tools/command_line.h"

#include <getopt.h>

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

std::string frameSizeText(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

std::string sizeHelp() {
    return "picture size, each side 1 to " + std::to_string(maxFrameSide) + " (default " +
           frameSizeText(kDefaultWidth, kDefaultHeight) + ")";
}

std::string sizeNeeds() {
    return "WxH with sides from 1 to " + std::to_string(maxFrameSide);
}

std::string depthHelp() {
    return "look through up to D faces in a row, 0 to " + std::to_string(kMaxToolDepth) +
           " (default " + std::to_string(kDemoDepthBudget) + ", as the demo)";
}

std::string depthNeeds() {
    return "a depth from 0 to " + std::to_string(kMaxToolDepth);
}

int usageError(const char* command, const char* problem, const char* argument) {
    if (argument) {
        std::fprintf(stderr, "glasswake-tool %s: %s: %s\n", command, problem, argument);
    } else {
        std::fprintf(stderr, "glasswake-tool %s: %s\n", command, problem);
    }
    std::fprintf(stderr, "Try 'glasswake-tool %s --help' for more information.\n", command);
    return 2;
}

namespace {

constexpr int kHelpWidth = 79;
constexpr int kHelpColumn = 26;  // where an option's description starts

// `text` word-wrapped into `out`, every line indented by `indent`; the first
// line continues whatever `out` ends with, which is `column` characters long.
void appendWrapped(std::string& out, const char* text, int indent, int column) {
    for (const char* at = text; *at;) {
        while (*at == ' ')
            ++at;
        const std::size_t length = std::strcspn(at, " ");
        if (length == 0)
            break;
        if (column > indent && column + 1 + static_cast<int>(length) > kHelpWidth) {
            out += '\n';
            column = 0;
        }
        if (column <= indent) {
            out.append(static_cast<std::size_t>(indent - column), ' ');
            column = indent;
        } else {
            out += ' ';
            ++column;
        }
        out.append(at, length);
        column += static_cast<int>(length);
        at += length;
    }
    out += '\n';
}

// Each line of `text` (one or more, '\n'-separated) wrapped on its own.
void appendLines(std::string& out, const char* text, int indent) {
    std::string line;
    for (const char* at = text; *at;) {
        const std::size_t length = std::strcspn(at, "\n");
        line.assign(at, length);
        if (line.empty())
            out += '\n';
        else  // a line's own leading blanks indent all of it
            appendWrapped(out, line.c_str(), indent + static_cast<int>(line.find_first_not_of(' ')),
                          0);
        at += length + (at[length] == '\n' ? 1 : 0);
    }
}

void appendOption(std::string& out, char shortName, const std::string& names, const char* help) {
    std::string head = "  ";
    head += shortName ? std::string("-") + shortName + ", " : "    ";
    head += names;
    out += head;
    int column = static_cast<int>(head.size());
    if (column + 2 > kHelpColumn) {
        out += '\n';
        column = 0;
    }
    out.append(static_cast<std::size_t>(kHelpColumn - 1 - column), ' ');
    appendWrapped(out, help, kHelpColumn, kHelpColumn - 1);
}

}  // namespace

std::string helpText(const CommandHelp& help, const CommandOption* options, int optionCount) {
    std::string out;
    const std::string program = std::string("glasswake-tool ") + help.command + " ";
    const char* prefix = "Usage: ";
    for (const char* at = help.usage; *at;) {
        const std::size_t length = std::strcspn(at, "\n");
        out += prefix + program + std::string(at, length) + "\n";
        prefix = "  or:  ";
        at += length + (at[length] == '\n' ? 1 : 0);
    }
    appendLines(out, help.about, 0);
    out += "\nOptions:\n";
    for (int k = 0; k < optionCount; ++k) {
        const CommandOption& option = options[k];
        std::string names = option.name;
        if (option.valueName)
            names += std::string("=") + option.valueName;
        appendOption(out, option.shortName, names, option.help);
    }
    appendOption(out, 'h', "--help", "show this help and exit");
    appendOption(out, 'V', "--version", "show the version and exit");
    out += "\nExit status:\n";
    appendWrapped(out, help.exitStatus, 2, 0);
    if (help.examples) {
        out += "\nExamples:\n";
        int line = 0;
        for (const char* at = help.examples; *at; ++line) {
            const std::size_t length = std::strcspn(at, "\n");
            const std::string text(at, length);
            if (line % 2 == 0)
                out += "  $ " + text + "\n";  // a command line stays whole
            else
                appendWrapped(out, text.c_str(), 6, 0);
            at += length + (at[length] == '\n' ? 1 : 0);
        }
    }
    return out;
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

// getopt_long's answer for an option of the table is 256 + its index, out
// of the range of short option letters.
constexpr int kFirstTableCode = 256;

// The option of the table a getopt_long code names, or null.
CommandOption* optionOfCode(CommandOption* options, int optionCount, int code) {
    for (int k = 0; k < optionCount; ++k) {
        if (code == kFirstTableCode + k || (options[k].shortName && code == options[k].shortName))
            return &options[k];
    }
    return nullptr;
}

// How the user spelled an option getopt_long refused.
std::string refusedSpelling(char** argv, int code) {
    if (code > 0 && code < kFirstTableCode)
        return std::string("-") + static_cast<char>(code);
    const char* argument = argv[optind - 1];
    return std::string(argument, std::strcspn(argument, "="));
}

// Why getopt_long refused an argument ('?' or ':'), as a usage error.
int refusal(const CommandHelp& help, CommandOption* options, int optionCount, char** argv,
            int code) {
    CommandOption* option = optionOfCode(options, optionCount, optopt);
    const std::string spelled = refusedSpelling(argv, optopt);
    if (code == ':')
        return usageError(help.command, "missing value after", spelled.c_str());
    if (option)
        return usageError(help.command, "this option takes no value", option->name);
    int matches = 0;
    for (int k = 0; k < optionCount; ++k)
        matches += std::strncmp(options[k].name, spelled.c_str(), spelled.size()) == 0;
    return usageError(help.command, matches > 1 ? "ambiguous option" : "unknown option",
                      spelled.c_str());
}

}  // namespace

int parseCommandLine(const CommandHelp& help, int argc, char** argv, CommandOption* options,
                     int optionCount, std::vector<const char*>* operands) {
    // A leading ':' makes getopt_long report a missing value apart from an
    // unknown option, and print nothing itself.
    std::string shortOptions = ":hV";
    std::vector<option> longOptions;
    for (int k = 0; k < optionCount; ++k) {
        const bool takesValue = options[k].kind != CommandOption::Kind::Flag;
        longOptions.push_back({options[k].name + 2, takesValue ? required_argument : no_argument,
                               nullptr, kFirstTableCode + k});
        if (options[k].shortName) {
            shortOptions += options[k].shortName;
            shortOptions += takesValue ? ":" : "";
        }
    }
    longOptions.push_back({"help", no_argument, nullptr, 'h'});
    longOptions.push_back({"version", no_argument, nullptr, 'V'});
    longOptions.push_back({nullptr, 0, nullptr, 0});
    optind = 0;  // glibc: start over, for every command line parsed
    opterr = 0;
    int code = 0;
    while ((code = getopt_long(argc, argv, shortOptions.c_str(), longOptions.data(), nullptr)) !=
           -1) {
        if (code == 'h') {
            std::fputs(helpText(help, options, optionCount).c_str(), stdout);
            return -1;
        }
        if (code == 'V') {
            std::printf("glasswake-tool %s\n", GLASSWAKE_VERSION);
            return -1;
        }
        CommandOption* option = optionOfCode(options, optionCount, code);
        if (code == '?' || code == ':' || !option)
            return refusal(help, options, optionCount, argv, code);
        option->given = true;
        if (option->kind == CommandOption::Kind::Flag) {
            *static_cast<bool*>(option->value) = true;
        } else if (!parseValue(*option, optarg)) {
            const std::string problem = std::string(option->name) + " needs " + option->needs;
            return usageError(help.command, problem.c_str(), *optarg ? optarg : nullptr);
        }
    }
    for (int i = optind; i < argc; ++i) {
        if (!operands)
            return usageError(help.command, "unexpected argument", argv[i]);
        operands->push_back(argv[i]);
    }
    return 0;
}
