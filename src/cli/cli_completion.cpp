#include "cli/cli_completion.h"

#include <stdexcept>
#include <vector>

#include "cli/cli_options.h"

namespace kiv {
namespace {

// A word in single quotes for bash: a quote inside ends the quotes, adds
// an escaped one and opens them again.
std::string ShellQuoted(std::string_view word) {
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// An option name goes into a case pattern unquoted, so it must be a plain
// word.
std::string_view CheckedName(std::string_view name) {
    const bool plain =
        name.size() > 2 && name.substr(0, 2) == "--" &&
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-") == std::string_view::npos;
    if (!plain) throw std::invalid_argument("option name unfit for a shell pattern");
    return name;
}

std::vector<std::string_view> Alternatives(std::string_view value) {
    std::vector<std::string_view> words;
    for (std::size_t at = 0;;) {
        const std::size_t bar = value.find('|', at);
        words.push_back(value.substr(at, bar - at));
        if (bar == std::string_view::npos) return words;
        at = bar + 1;
    }
}

}  // namespace

CompletionKind CompletionOf(std::string_view value, bool takesValue) {
    if (!takesValue) return CompletionKind::NoValue;
    if (value == "FILE" || value == "PATH") return CompletionKind::Files;
    if (value.find('|') != std::string_view::npos) return CompletionKind::Words;
    return CompletionKind::Free;
}

std::string BashCompletion() {
    std::string names, files, free, words;
    for (const CliOption& option : kCliOptions) {
        const std::string name(CheckedName(option.name));
        names += (names.empty() ? "" : " ") + name;
        switch (CompletionOf(option.value, option.take != nullptr)) {
            case CompletionKind::NoValue:
                break;
            case CompletionKind::Files:
                if (!files.empty()) files += '|';
                files += name;
                break;
            case CompletionKind::Free:
                if (!free.empty()) free += '|';
                free += name;
                break;
            case CompletionKind::Words: {
                std::string list;
                // Appended piece by piece: GCC 12 at -O3 warns falsely
                // (-Wrestrict) about a literal added in front of a string.
                for (std::string_view w : Alternatives(option.value)) {
                    if (!list.empty()) list += ' ';
                    list += w;
                }
                words += "        " + name + ")\n            COMPREPLY=($(compgen -W " +
                         ShellQuoted(list) + " -- \"$cur\"))\n            return ;;\n";
                break;
            }
        }
    }
    std::string script =
        "# bash completion for kiv-cli, made from its option table (the one --help\n"
        "# lists) when the program is built.\n"
        "_kiv_cli() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} prev=\"\"\n"
        "    (( COMP_CWORD > 0 )) && prev=${COMP_WORDS[COMP_CWORD-1]}\n"
        "    # --name=value: bash splits the word at the \"=\".\n"
        "    if [[ $cur == = ]]; then\n"
        "        cur=\"\"\n"
        "    elif [[ $prev == = ]] && (( COMP_CWORD > 1 )); then\n"
        "        prev=${COMP_WORDS[COMP_CWORD-2]}\n"
        "    fi\n"
        "    case $prev in\n";
    if (!files.empty())
        script += "        " + files +
                  ")\n"
                  "            compopt -o filenames 2>/dev/null\n"
                  "            COMPREPLY=($(compgen -f -- \"$cur\"))\n"
                  "            return ;;\n";
    script += words;
    if (!free.empty())
        script += "        " + free + ")\n            COMPREPLY=()\n            return ;;\n";
    script +=
        "    esac\n"
        "    COMPREPLY=($(compgen -W " +
        ShellQuoted(names) +
        " -- \"$cur\"))\n"
        "}\n"
        "complete -F _kiv_cli kiv-cli\n";
    return script;
}

}  // namespace kiv
