// Completion of the word being typed at the "fit> " prompt (TAB): a command
// word from the command table, or, after a command that reads a file name,
// a file name with the command's default extension first.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarva {

// One entry of a directory listing.
struct DirectoryEntry {
    std::string name;
    bool directory = false;
};
// Lists a directory ("" is the working directory); empty when it cannot.
using DirectoryLister = std::function<std::vector<DirectoryEntry>(const std::string& directory)>;

// The directory itself, through std::filesystem.
std::vector<DirectoryEntry> list_directory(const std::string& directory);

// The default extension of the file a command reads or writes (".fit" for
// DATA and SAVE, ".qvc" for @, ...), "" for a command that takes a file
// name without one (MAKE, ECHO/D, DEST), nullopt for a command that takes
// no file name. `command` is the first word as typed, qualifier included.
std::optional<std::string> file_extension_of(std::string_view command);

// The completions of the word that begins at `word_start` of `line` (the
// text before the cursor). The first word completes to the command words
// that begin with it, in the table's order and in the case the word was
// typed in (upper case when its first letter is); a later word, after a
// command that takes a file name (an "@" glued to the name included),
// completes to the file names that begin with it: those with the command's
// default extension first, then the others (directories with a "/"), each
// group in name order, hidden files only when the word begins with ".".
std::vector<std::string> complete_at_prompt(std::string_view line, std::size_t word_start,
                                            const DirectoryLister& lister = list_directory);

} // namespace tarva
