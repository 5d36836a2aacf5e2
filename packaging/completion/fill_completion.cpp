// SPDX-License-Identifier: GPL-3.0-or-later
// Fills a shell completion template with the verbs of the command line, read
// from the registry the parser and --help use, so that completion cannot
// offer a verb the program lacks or miss one it has. Run at build time:
//     fill_completion TEMPLATE OUTPUT

#include "cli/VerbRegistry.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>

namespace {

using ostrel::cli::VerbSpelling;
using ostrel::cli::VerbSpellings;
using ostrel::cli::VerbValue;

std::string dashed(const VerbSpelling& verb) {
    return "--" + std::string(verb.name);
}

// The verbs for which `keep` holds, as one space-separated word list.
template <typename Keep> std::string verbList(Keep keep) {
    std::string list;
    for (const VerbSpelling& verb : VerbSpellings) {
        if (!keep(verb))
            continue;
        if (!list.empty())
            list += ' ';
        list += dashed(verb);
    }
    return list;
}

// A description inside zsh's `[…]`, inside single quotes.
std::string zshDescription(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\'')
            escaped += "'\\''";
        else if (c == '[' || c == ']' || c == '\\')
            escaped += std::string("\\") + c;
        else
            escaped += c;
    }
    return escaped;
}

// One _arguments entry a verb: it shuts out the other verbs (and --port,
// unless the verb takes it), and a verb with a value asks for a port.
std::string zshVerbEntries() {
    const std::string allVerbs = verbList([](const VerbSpelling&) { return true; });
    std::string entries;
    for (const VerbSpelling& verb : VerbSpellings) {
        if (!entries.empty())
            entries += " \\\n    ";
        std::string excluded = allVerbs + " -h --help --version";
        if (!verb.takesPortOption)
            excluded += " --port";
        entries += "'(" + excluded + ')' + dashed(verb);
        if (verb.value == VerbValue::Port)
            entries += '=';
        entries += '[' + zshDescription(verb.description) + ']';
        if (verb.value == VerbValue::Port)
            entries += ":port:";
        entries += '\'';
    }
    return entries;
}

void replaceAll(std::string& text, std::string_view placeholder, const std::string& value) {
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::cerr << "usage: fill_completion TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "fill_completion: cannot read " << argv[1] << '\n';
        return 1;
    }
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    replaceAll(text, "@VERBS@", verbList([](const VerbSpelling&) { return true; }));
    replaceAll(text, "@VALUE_VERBS@",
               verbList([](const VerbSpelling& verb) { return verb.value != VerbValue::None; }));
    replaceAll(text, "@PORT_OPTION_VERBS@",
               verbList([](const VerbSpelling& verb) { return verb.takesPortOption; }));
    replaceAll(text, "@NO_PORT_OPTION_VERBS@",
               verbList([](const VerbSpelling& verb) { return !verb.takesPortOption; }));
    replaceAll(text, "@ZSH_VERB_ENTRIES@", zshVerbEntries());
    std::ofstream out(argv[2], std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "fill_completion: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
