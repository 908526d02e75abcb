#include "interpreter/program_arguments.h"

#include <string_view>

#include "interpreter/interpreter.h"
#include "session/session.h"

namespace tarva {

namespace {

void write_help(std::ostream& out, const char* library_override) {
    out << "Usage: tarva [--help | --version]\n"
           "\n"
           "tarva fits model functions to spectra and other (X, Y, error) data and draws\n"
           "them on a Tektronix terminal or into PostScript and HPGL files. It is run by\n"
           "commands typed at the \"fit> \" prompt or read from macro files (name.qvc);\n"
           "a session takes no arguments. EXIT (or Ctrl-D) ends it.\n"
           "\n"
           "  HELP            at the prompt: how to use the help; HELP word for a command\n"
           "  MENU            at the prompt: every command\n"
           "  man tarva       the manual page: start-up, files, environment\n"
           "\n"
           "Library directory (help files tarva.hlp and qvfun.hlp, X-ray lines\n"
           "xraylines.dat): "
        << kDefaultLibraryDir << "\n";
    if (library_override && *library_override)
        out << "  now replaced by TARVA_LIB: " << library_override << "\n";
    else
        out << "  the environment variable TARVA_LIB names another directory.\n";
    out << "Start-up macro: login.qvc in the working directory, or in $HOME/bin/.\n"
           "\n"
           "  --help          this text\n"
           "  --version       the version number\n"
           "  --batch MACRO [-j N] [--table CSV] [--logs DIR] [--timeout S] FILE...\n"
           "                  MACRO once per FILE (~ is the file), one results table\n"
           "  --merge-tables [--table CSV] PART...   joins the parts of a cluster run\n";
}

} // namespace

std::optional<int> answer_program_arguments(int argc, const char* const* argv, const char* library_override,
                                            std::ostream& out, std::ostream& err) {
    if (argc < 2) return std::nullopt;
    const std::string_view arg = argv[1];
    const bool version = arg == "--version" || arg == "-V";
    const bool help = arg == "--help" || arg == "-h";
    if (argc == 2 && version) {
        out << "tarva " << kVersion << "\n";
        return 0;
    }
    if (argc == 2 && help) {
        write_help(out, library_override);
        return 0;
    }
    // The first argument that is not understood: after a known option,
    // anything at all.
    const std::string_view bad = version || help ? std::string_view(argv[2]) : arg;
    err << "tarva: unknown argument \"" << bad << "\"; a session takes none (tarva --help tells more)\n";
    return 2;
}

} // namespace tarva
