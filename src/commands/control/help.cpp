// MENU and HELP share one routine: the qualifiers F, S and T mean the same
// with either word; otherwise HELP shows help sections and MENU the table.
#include "commands/control/help.h"

#include <fstream>
#include <sys/stat.h>

#include "commands/command_table.h"
#include "commands/commands.h"
#include "io/input_stack.h"
#include "session/dialogue.h"
#include "text/format.h"
#include "text/regular_file.h"

namespace tarva {

namespace {

constexpr std::size_t kHelpLine = 80; // help files are read 80 columns wide

enum class FileCheck { Missing, Unreadable, Open };

// Opens a help file for reading; anything but a regular file (a directory,
// a device, a fifo) counts as unreadable.
FileCheck open_help(const std::string& name, std::ifstream& in) {
    if (name.find('\0') != std::string::npos) return FileCheck::Missing; // no file has such a name
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return FileCheck::Missing;
    return open_regular(in, name) ? FileCheck::Open : FileCheck::Unreadable;
}

std::optional<std::string> next_help_line(std::ifstream& in) {
    auto line = read_record(in);
    if (line && line->size() > kHelpLine) line->resize(kHelpLine);
    return line;
}

// The first `len` characters of `topic` stand at the start of the keyword
// text or right after a blank or "*".
bool keyword_matches(std::string_view keywords, std::string_view topic) {
    for (std::size_t p = keywords.find(topic); p != std::string_view::npos; p = keywords.find(topic, p + 1))
        if (p == 0 || keywords[p - 1] == ' ' || keywords[p - 1] == '*') return true;
    return false;
}

// Writes the collected section names, each as a blank and ten characters,
// the first five on a line followed by one more blank.
void write_names(Session& s, std::vector<std::string>& names) {
    if (names.empty()) return;
    std::string row;
    for (std::size_t i = 0; i < names.size(); ++i) {
        row += " " + names[i];
        if (i < 5) row += " ";
    }
    s.out().line(row);
    names.clear();
}

} // namespace

void show_menu(Session& s) {
    s.out().blank_line();
    s.out().line("Commands are:");
    const auto& table = command_table();
    std::string row;
    for (std::size_t i = 0; i < table.size(); ++i) {
        row += pad(table[i].key, 6) + "   ";
        if (i % 8 == 7) {
            s.out().line(row);
            row.clear();
        }
    }
    if (!row.empty()) s.out().line(row);
    s.out().blank_line();
}

void show_help_file(Session& s, bool list, const std::string& file, std::string_view topic_field) {
    std::ifstream in;
    FileCheck check = open_help(file, in);
    if (check == FileCheck::Missing) {
        s.out().line("No help information available,");
        s.out().line(file + " does not exist.");
        return;
    }
    std::string topic = upper(pad(topic_field.substr(0, std::min<std::size_t>(topic_field.size(), 6)), 6));
    std::size_t topic_len = std::min<std::size_t>(topic.find(' '), 6);
    topic.resize(topic_len);
    if (check == FileCheck::Unreadable) {
        s.out().line("Error opening " + file);
        return;
    }
    if (list) {
        s.out().blank_line();
        s.out().line("List of keywords for help information:");
        s.out().blank_line();
    }
    std::vector<std::string> names;
    bool after_taken_keyword = false; // a listed or matching keyword line just passed
    bool in_section = false;
    int matches = 0;
    int written = 0;
    while (auto line = next_help_line(in)) {
        if (!line->empty() && (*line)[0] == '#') {
            std::string keywords = line->substr(1);
            if (!keywords.empty() && keywords[0] == '*') keywords.erase(0, 1);
            to_upper(keywords);
            if (after_taken_keyword) continue;
            in_section = false;
            if (list) {
                std::size_t end = std::min(keywords.find_first_of(" *"), keywords.size());
                names.push_back(pad(keywords.substr(0, std::min<std::size_t>(end, 10)), 10));
                if (names.size() == 6) write_names(s, names);
                after_taken_keyword = true;
            } else if (keyword_matches(keywords, topic)) {
                ++matches;
                after_taken_keyword = true;
                in_section = true;
            }
            continue;
        }
        after_taken_keyword = false;
        if (!in_section) continue;
        std::string_view text = trimmed(*line);
        if (text.empty())
            s.out().blank_line();
        else
            s.out().line(text);
        if (++written % kHelpPageLines == 0) {
            auto answer = ask_text(s, "Type RETURN for more...", 1);
            if (!answer || (*answer)[0] == 'q' || (*answer)[0] == 'Q') return;
        }
    }
    write_names(s, names);
    s.out().blank_line();
    if (!list && matches == 0) {
        s.out().blank_line();
        s.out().line("No help information available on " + topic);
        s.out().blank_line();
        s.out().blank_line();
    }
}

void show_function_help(Session& s, double number) {
    const int n = round_nearest(number);
    if (n < 1 || n > 50) {
        s.out().blank_line();
        s.out().line("Function must be between 1 and 50.");
        s.out().blank_line();
        return;
    }
    const std::string& file = s.interp.function_help_file;
    std::ifstream in;
    if (open_help(file, in) != FileCheck::Open) {
        s.out().blank_line();
        s.out().line("Can't find " + pad(file, std::max<std::size_t>(file.size(), 30)));
        s.out().blank_line();
        s.out().line("Either rename the function help file to match");
        s.out().line("or modify the filename in QVFUNHLP and");
        s.out().line("recomplile it, replace it in the library");
        s.out().line("TARVA.OLB and relink TARVA.");
        s.out().blank_line();
        return;
    }
    s.out().blank_line();
    int current = 0; // lines before the first numbered line belong to none
    int written = 0;
    while (auto line = next_help_line(in)) {
        if (!line->empty() && (*line)[0] >= '0' && (*line)[0] <= '9')
            current = static_cast<int>(read_integer_field(line->substr(0, 2)).value_or(0));
        if (current == n) {
            s.out().line(pad(*line, kHelpLine));
            ++written;
        }
    }
    if (written == 0) {
        s.out().blank_line();
        s.out().line("No documentation exists for this function.");
        s.out().blank_line();
        s.out().line("When you figure it out, please go to the");
        s.out().line("file QVFUN.HLP and include a few words on");
        s.out().line("its usage and meaning of the variables.");
        s.out().blank_line();
    }
}

namespace {

void help_or_menu(Session& s, CommandContext& ctx) {
    switch (ctx.qualifier) {
    case 'F': show_function_help(s, ctx.number); return;
    case 'S': s.interp.help_file = std::string(trimmed(ctx.argument().substr(0, 33))); return;
    case 'T': s.interp.function_help_file = std::string(trimmed(ctx.argument().substr(0, 30))); return;
    default: break;
    }
    if (ctx.line[0] != 'H') {
        show_menu(s);
        return;
    }
    // A numeric argument arrives right-justified; its leading blanks would
    // otherwise make an empty topic that matches every section.
    std::string topic(ctx.argument().substr(0, 6));
    left_justify(topic);
    if (last_nonblank(topic) == 0) topic = "HELP  ";
    const bool list = ctx.qualifier == 'B';
    if (list) {
        s.out().blank_line();
        s.out().line("  Further help is available on,");
        s.out().blank_line();
    }
    show_help_file(s, list, s.interp.help_file, topic);
}

} // namespace

void cmd_menu(Session& s, CommandContext& ctx) { help_or_menu(s, ctx); }
void cmd_help(Session& s, CommandContext& ctx) { help_or_menu(s, ctx); }

} // namespace tarva
