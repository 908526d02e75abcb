#include "interpreter/completion.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "commands/command_table.h"

namespace tarva {

namespace {

std::string upper_text(std::string_view text) {
    std::string u(text);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

bool ends_with_ignoring_case(std::string_view name, std::string_view ending) {
    return name.size() > ending.size() && upper_text(name.substr(name.size() - ending.size())) == upper_text(ending);
}

// The command words that begin with `word`, in table order.
std::vector<std::string> command_words(std::string_view word) {
    const bool lower = !word.empty() && std::islower(static_cast<unsigned char>(word[0]));
    const std::string prefix = upper_text(word);
    std::vector<std::string> out;
    for (const CommandEntry& e : command_table()) {
        const std::string_view key = e.key;
        if (key.empty() || key.size() < prefix.size() || key.compare(0, prefix.size(), prefix) != 0) continue;
        std::string w(key);
        if (lower)
            for (char& c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (std::find(out.begin(), out.end(), w) == out.end()) out.push_back(w);
    }
    return out;
}

// File names that begin with `word`, default extension first.
std::vector<std::string> file_names(std::string_view word, const std::string& extension,
                                    const DirectoryLister& lister) {
    const std::size_t slash = word.rfind('/');
    const std::string directory(slash == std::string_view::npos ? std::string_view() : word.substr(0, slash + 1));
    const std::string_view stem = slash == std::string_view::npos ? word : word.substr(slash + 1);
    std::vector<std::string> preferred, others;
    for (const DirectoryEntry& e : lister(directory)) {
        if (e.name.compare(0, stem.size(), stem) != 0) continue;
        if (e.name[0] == '.' && (stem.empty() || stem[0] != '.')) continue;
        std::string full = directory + e.name;
        if (e.directory)
            others.push_back(full + "/");
        else if (!extension.empty() && ends_with_ignoring_case(e.name, extension))
            preferred.push_back(full);
        else
            others.push_back(full);
    }
    std::sort(preferred.begin(), preferred.end());
    std::sort(others.begin(), others.end());
    preferred.insert(preferred.end(), others.begin(), others.end());
    return preferred;
}

} // namespace

std::vector<DirectoryEntry> list_directory(const std::string& directory) {
    std::vector<DirectoryEntry> out;
    std::error_code ec;
    std::filesystem::directory_iterator it(directory.empty() ? std::string(".") : directory, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code type_ec;
        out.push_back({it->path().filename().string(), it->is_directory(type_ec)});
    }
    return out;
}

std::optional<std::string> file_extension_of(std::string_view command) {
    const std::size_t slash = command.find('/');
    // The interpreter reads six columns of the command word.
    const std::string word = upper_text(command.substr(0, std::min<std::size_t>(slash, 6)));
    const char qualifier = slash != std::string_view::npos && slash + 1 < command.size()
                               ? static_cast<char>(std::toupper(static_cast<unsigned char>(command[slash + 1])))
                               : ' ';
    if (word.empty()) return std::nullopt;
    const CommandEntry* e = find_command(word);
    if (!e) return std::nullopt;
    const std::string_view key = e->key;
    if (key == "DATA" || key == "SAVE") return ".fit";
    if (key == "LOAD") return ".d";
    if (key == "MAKE" || key == "DEST" || key == "IMPORT") return "";
    if (key == "MCA") return qualifier == 'A' ? ".txt" : ".mca";
    if (key == "PHA" || key == "PHA2") return qualifier == 'A' ? ".dat" : ".img";
    if (key == "@") return ".qvc";
    if (key == "SUBPLO") return ".sub";
    if (key == "ECHO" && qualifier == 'D') return "";
    if (key == "HELP" && (qualifier == 'S' || qualifier == 'T')) return ".hlp";
    if (key == "PARAM" && qualifier == 'A') return ".lis";
    return std::nullopt;
}

std::vector<std::string> complete_at_prompt(std::string_view line, std::size_t word_start,
                                            const DirectoryLister& lister) {
    word_start = std::min(word_start, line.size());
    const std::string_view word = line.substr(word_start);
    const std::string_view before = line.substr(0, word_start);
    const bool first_word = before.find_first_not_of(" \t") == std::string_view::npos;
    if (first_word) {
        // "@name": the macro file glued to its command.
        if (!word.empty() && word[0] == '@') {
            std::vector<std::string> names = file_names(word.substr(1), ".qvc", lister);
            for (std::string& n : names) n = "@" + n;
            return names;
        }
        if (word.find('/') != std::string_view::npos) return {};
        return command_words(word);
    }
    const std::size_t start = before.find_first_not_of(" \t");
    const std::size_t end = before.find_first_of(" \t", start);
    // Only the word right after the command is its file name.
    if (before.find_first_not_of(" \t", end) != std::string_view::npos) return {};
    const auto extension = file_extension_of(before.substr(start, end - start));
    if (!extension) return {};
    return file_names(word, *extension, lister);
}

} // namespace tarva
