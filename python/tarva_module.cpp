// The Python module tarva._tarva: a session of the program (the same
// interpreter, command table and records as at the "fit> " prompt) with
// typed entries for data, model, fits, peaks, X-ray lines and pictures.
//
// Every entry works on the session's own records through the routines the
// commands use, so numbers are those the command line gives, bit for bit.
// A session belongs to one thread at a time: each entry takes the
// session's lock with the GIL released (so another thread using the same
// session waits without stopping the interpreter) and releases the GIL
// again around long work (lines, fits, the peak search, pictures), in which
// no Python object is touched. Independent sessions run side by side.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "analysis/peak_search.h"
#include "commands/fit/session_model.h"
#include "commands/front_end.h"
#include "fitting/converging_fit.h"
#include "graphics/drivers/device_table.h"
#include "interpreter/interpreter.h"
#include "interpreter/keyboard.h"
#include "interpreter/program_arguments.h"
#include "io/stop_signal.h"
#include "models/catalogue.h"
#include "physics/xray_lines.h"
#include "plot/device.h"
#include "session/session.h"
#include "text/format.h"

namespace py = pybind11;

namespace tarva {
namespace {

// The columns of a command line: the program reads no further.
constexpr std::size_t kLineColumns = 40;

struct Core {
    std::istringstream in;
    std::ostringstream out;
    std::unique_ptr<Session> s;
    std::mutex m;
    bool closed = false;
    std::string picture_dir; // scratch directory of the inline pictures

    explicit Core(const std::string& library_dir) : s(std::make_unique<Session>(in, out)) {
        // As start_up sets them, without its banner and login macro: a
        // script's session starts the same wherever it runs.
        std::string dir = library_dir;
        if (!dir.empty() && dir.back() != '/') dir.push_back('/');
        if (!dir.empty()) s->interp.library_dir = dir;
        const char* home = std::getenv("HOME");
        s->interp.macro_library = std::string(home ? home : "") + "/bin/";
        s->interp.help_file = s->interp.library_dir + "tarva.hlp";
        s->interp.function_help_file = s->interp.library_dir + "qvfun.hlp";
        s->physics.lines.file = s->interp.library_dir + "xraylines.dat";
    }
    ~Core() { remove_picture_dir(); }
    void remove_picture_dir() {
        if (picture_dir.empty()) return;
        for (const char* ext : {".png", ".svg"}) ::unlink((picture_dir + "/picture" + ext).c_str());
        ::rmdir(picture_dir.c_str());
        picture_dir.clear();
    }
};

using CorePtr = std::shared_ptr<Core>;

// The session locked by this thread. The lock is taken with the GIL
// released, so a fit running in another thread on the same session is
// waited for without holding up the interpreter.
class Held {
public:
    explicit Held(Core& c) : c_(c), lock_(c.m, std::defer_lock) {
        {
            py::gil_scoped_release free;
            lock_.lock();
        }
        if (c.closed) throw py::value_error("the session is closed");
    }
    Session& s() { return *c_.s; }
    Core& core() { return c_; }

private:
    Core& c_;
    std::unique_lock<std::mutex> lock_;
};

// An OSError with the program's message (a file that could not be read).
[[noreturn]] void raise_os_error(const std::string& message) {
    PyErr_SetString(PyExc_OSError, message.c_str());
    throw py::error_already_set();
}

// The text the session printed since the last clear.
std::string take_output(Core& c) {
    std::string text = c.out.str();
    c.out.str("");
    c.out.clear();
    return text;
}

void set_answers(Core& c, const std::string& answers) {
    c.in.str(answers);
    c.in.clear();
    take_output(c);
}

// Runs the lines of the macros a command started, as the command loop does,
// until the macro levels above `depth` have ended.
void run_macros(Session& s, std::size_t depth) {
    while (s.input().depth() > depth && !s.interp.exit_requested) {
        s.out().prompt("fit> ");
        auto raw = s.input().read_line();
        if (!raw) {
            s.input().pop_macro();
            continue;
        }
        std::string forty = pad(std::string_view(*raw).substr(0, std::min(raw->size(), kLineColumns)), kLineColumns);
        s.out().line(forty);
        execute_line(s, forty);
    }
}

enum class LineEnd { Done, AnswersEnded, Exit };

// One line as typed at the prompt, with the macros it starts. Called
// without the GIL.
LineEnd type_line(Core& c, const std::string& line, CommandContext* last = nullptr) {
    Session& s = *c.s;
    const std::size_t depth = s.input().depth();
    CommandContext ctx = execute_line(s, line);
    if (last) *last = ctx;
    run_macros(s, depth);
    if (!s.interp.exit_requested) return LineEnd::Done;
    // The keyboard ends only when a prompt found no answer left; EXIT
    // leaves it readable.
    if (c.in.eof()) {
        s.interp.exit_requested = false;
        return LineEnd::AnswersEnded;
    }
    return LineEnd::Exit;
}

void close_core(Core& c) {
    if (c.closed) return;
    close_plot_files(*c.s, '*');
    c.s->input().close_all();
    c.closed = true;
    c.remove_picture_dir();
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The answers as the keyboard holds them: a list of lines, or a macro's
// text.
std::string answers_text(const py::object& answers) {
    if (answers.is_none()) return "";
    if (py::isinstance<py::str>(answers)) {
        std::string text = answers.cast<std::string>();
        if (!text.empty() && text.back() != '\n') text.push_back('\n');
        return text;
    }
    std::string text;
    for (const py::handle item : answers) {
        if (!py::isinstance<py::str>(item)) throw py::value_error("answers must be strings");
        text += item.cast<std::string>() + "\n";
    }
    return text;
}

void check_line(const std::string& line) {
    if (line.find('\0') != std::string::npos) throw py::value_error("a command line holds no NUL character");
    const std::size_t end = line.find_last_not_of(" \t");
    if (end != std::string::npos && end >= kLineColumns)
        throw py::value_error("a command line has at most 40 columns (the program reads no further): \"" + line + "\"");
}

// Session.run: each line of `lines` typed at the prompt in turn, the
// answers for their prompts from `answers`. Returns what they printed.
std::string run(const CorePtr& c, const std::string& lines, const py::object& answers) {
    const std::vector<std::string> list = split_lines(lines);
    for (const std::string& line : list) check_line(line);
    const std::string keyboard = answers_text(answers);
    Held h(*c);
    set_answers(*c, keyboard);
    LineEnd end = LineEnd::Done;
    std::string text;
    std::string prompt;
    {
        py::gil_scoped_release free;
        for (const std::string& line : list) {
            end = type_line(*c, line);
            if (end != LineEnd::Done) break;
        }
        prompt = std::string(trim(c->s->out().pending_prompt()));
        if (end == LineEnd::Exit) close_core(*c);
        text = take_output(*c);
    }
    if (end == LineEnd::AnswersEnded)
        throw py::value_error("no answer left for the prompt \"" + prompt + "\"; the output was:\n" + text);
    return text;
}

// ---- data -----------------------------------------------------------------

// A 1-d array of real numbers as float32, finite, at most `most` long.
std::vector<float> float_values(const py::handle& values, const char* what, std::size_t most = kMaxPoints) {
    py::array a = py::array::ensure(values);
    if (!a) throw py::value_error(std::string(what) + " must be an array of numbers");
    const char kind = a.dtype().kind();
    if (kind != 'f' && kind != 'i' && kind != 'u')
        throw py::value_error(std::string(what) + " must hold real numbers, not dtype " +
                              py::str(a.dtype()).cast<std::string>());
    if (a.ndim() != 1) throw py::value_error(std::string(what) + " must be one-dimensional");
    if (static_cast<std::size_t>(a.size()) > most)
        throw py::value_error(std::string(what) + " has " + std::to_string(a.size()) + " values; at most " +
                              std::to_string(most));
    auto f = py::array_t<double, py::array::forcecast>::ensure(a);
    std::vector<float> out;
    out.reserve(static_cast<std::size_t>(f.size()));
    auto r = f.unchecked<1>();
    for (py::ssize_t i = 0; i < r.shape(0); ++i) {
        const double v = r(i);
        if (!std::isfinite(v)) throw py::value_error(std::string(what) + " holds a value that is not finite");
        if (std::fabs(v) > 3.4e38) throw py::value_error(std::string(what) + " holds a value beyond single precision");
        out.push_back(static_cast<float>(v));
    }
    return out;
}

py::array_t<float> float_array(const float* p, int n) {
    py::array_t<float> a(n);
    std::copy(p, p + n, a.mutable_data());
    return a;
}

py::array_t<double> double_array(const double* p, int n) {
    py::array_t<double> a(n);
    std::copy(p, p + n, a.mutable_data());
    return a;
}

struct DataView {
    CorePtr c;
};

void set_points(const CorePtr& c, const py::handle& x, const py::handle& y, const py::object& sigma) {
    const std::vector<float> xs = float_values(x, "x"), ys = float_values(y, "y");
    if (xs.size() != ys.size())
        throw py::value_error("x and y differ in length (" + std::to_string(xs.size()) + " and " +
                              std::to_string(ys.size()) + ")");
    std::vector<float> es(xs.size(), 1.0f);
    if (!sigma.is_none()) {
        es = float_values(sigma, "sigma");
        if (es.size() != xs.size()) throw py::value_error("sigma differs in length from x and y");
    }
    Held h(*c);
    DataSet& d = h.s().data;
    std::copy(xs.begin(), xs.end(), d.X.begin());
    std::copy(ys.begin(), ys.end(), d.Y.begin());
    std::copy(es.begin(), es.end(), d.SIGMA.begin());
    d.count = static_cast<int>(xs.size());
    d.spectrum_loaded = 0;
}

// One column replaced; the count stays.
void set_column(const CorePtr& c, const py::handle& values, int which) {
    static const char* names[] = {"x", "y", "sigma"};
    const std::vector<float> v = float_values(values, names[which]);
    Held h(*c);
    DataSet& d = h.s().data;
    if (static_cast<int>(v.size()) != d.count)
        throw py::value_error(std::string(names[which]) + " has " + std::to_string(v.size()) +
                              " values; the data set has " + std::to_string(d.count) +
                              " points (set all three with data.set(x, y, sigma))");
    auto& col = which == 0 ? d.X : which == 1 ? d.Y : d.SIGMA;
    std::copy(v.begin(), v.end(), col.begin());
}

py::array_t<float> column(const CorePtr& c, int which) {
    Held h(*c);
    const DataSet& d = h.s().data;
    const auto& col = which == 0 ? d.X : which == 1 ? d.Y : d.SIGMA;
    return float_array(col.data(), d.count);
}

// DATA with the name as the answer to its question (80 columns: longer than
// the command line's).
std::string load(const CorePtr& c, const std::string& path) {
    if (path.empty() || path.size() > 80 || path.find_first_of("\n\r") != std::string::npos ||
        path.find('\0') != std::string::npos)
        throw py::value_error("a file name of 1 to 80 characters on one line");
    Held h(*c);
    set_answers(*c, path + "\n");
    CommandContext ctx;
    std::string text;
    {
        py::gil_scoped_release free;
        type_line(*c, "DATA", &ctx);
        text = take_output(*c);
    }
    if (ctx.number > 1e-10) raise_os_error(text);
    return text;
}

// ---- fits -------------------------------------------------------------------

struct FitResult {
    std::string kind; // "FIT" or "FIT/C"
    std::vector<std::string> names;
    std::vector<double> values, errors;
    std::vector<int> masks;
    std::vector<double> covariance, correlation; // nparams x nparams by slot
    int nparams = 0;
    double chi_square = 0, reduced_chi_square = 0;
    int iterations = 0, points = 0, dof = 0;
    std::string stop;
    bool converged = false;
    std::string text;
};

const char* stop_name(ConvergingStop s) {
    switch (s) {
    case ConvergingStop::NotStarted: return "not started";
    case ConvergingStop::Converged: return "converged";
    case ConvergingStop::Rounding: return "rounding";
    case ConvergingStop::ExactFit: return "exact fit";
    case ConvergingStop::NoProgress: return "no progress";
    case ConvergingStop::Failed: return "failed";
    case ConvergingStop::IterationLimit: return "iteration limit";
    case ConvergingStop::Stopped: return "stopped";
    }
    return "";
}

int slot_count(const Session& s) { return std::clamp(s.fit.nparams, 0, kMaxParams); }

void fill_parameters(FitResult& r, const Session& s) {
    r.nparams = slot_count(s);
    for (int k = 0; k < r.nparams; ++k) {
        r.names.emplace_back(trim(s.fit.param_name(k).view()));
        r.values.push_back(s.fit.value[k]);
        r.errors.push_back(s.fit.error[k]);
        r.masks.push_back(s.fit.mask[k]);
    }
}

void fill_matrices(FitResult& r, const Covariance& cov) {
    const int n = r.nparams;
    r.covariance.assign(static_cast<std::size_t>(n * n), 0.0);
    r.correlation.assign(static_cast<std::size_t>(n * n), 0.0);
    for (int j = 0; j < n; ++j)
        for (int k = 0; k < n; ++k) {
            const auto at = static_cast<std::size_t>(j * n + k);
            r.covariance[at] = cov.c[j][k];
            if (cov.determined[j] && cov.determined[k] && cov.c[j][j] > 0 && cov.c[k][k] > 0)
                r.correlation[at] = cov.c[j][k] / std::sqrt(cov.c[j][j] * cov.c[k][k]);
        }
}

int max_iterations_of(long n, long most) {
    if (n < 1 || n > most) throw py::value_error("max_iter must be 1 to " + std::to_string(most));
    return static_cast<int>(n);
}

FitResult fit_described(const CorePtr& c, long max_iter) {
    const int limit = max_iterations_of(max_iter, 1000000000);
    Held h(*c);
    Session& s = h.s();
    take_output(*c);
    FitResult r;
    r.kind = "FIT";
    bool started = false;
    {
        py::gil_scoped_release free;
        const DescribedFitRun run = run_described_fit(s, limit);
        started = run.started;
        r.iterations = run.iterations;
        r.reduced_chi_square = run.chi_square;
        r.stop = !run.started ? "not started" : run.finished ? "iteration limit" : "stopped";
        fill_parameters(r, s);
        // The covariance of the estimates at the result, as CORREL/E has
        // it, where the weights of the fit mode stay fixed.
        Covariance cov;
        if (run.started && fixed_weights(s.fit.mode)) {
            SessionModel model(s);
            cov = estimate_covariance(s.engine(), model.engine_inputs());
        }
        fill_matrices(r, cov);
        int varied = 0;
        for (int k = 0; k < r.nparams; ++k) varied += r.masks[static_cast<std::size_t>(k)] != 0;
        r.points = s.data.count;
        r.dof = std::max(1, r.points - varied);
        r.chi_square = r.reduced_chi_square * r.dof;
        r.text = take_output(*c);
    }
    if (!started) throw py::value_error(r.text);
    return r;
}

FitResult fit_converging(const CorePtr& c, long max_iter) {
    const int limit = max_iterations_of(max_iter, 1000000000);
    Held h(*c);
    Session& s = h.s();
    take_output(*c);
    FitResult r;
    r.kind = "FIT/C";
    {
        py::gil_scoped_release free;
        const ConvergingFitResult f = run_converging_fit(s, limit);
        fill_parameters(r, s);
        fill_matrices(r, f.covariance);
        // The fit's own correlation (0 where not determined).
        for (int j = 0; j < r.nparams; ++j)
            for (int k = 0; k < r.nparams; ++k)
                r.correlation[static_cast<std::size_t>(j * r.nparams + k)] = f.correlation[j][k];
        r.chi_square = f.chi_square;
        r.reduced_chi_square = f.reduced_chi_square;
        r.iterations = f.iterations;
        r.points = f.points;
        r.dof = f.dof;
        r.stop = stop_name(f.stop);
        r.converged = f.stop == ConvergingStop::Converged || f.stop == ConvergingStop::Rounding ||
                      f.stop == ConvergingStop::ExactFit;
        r.text = take_output(*c);
    }
    if (r.stop == "not started") throw py::value_error(r.text);
    return r;
}

py::array_t<double> matrix(const std::vector<double>& m, int n) {
    py::array_t<double> a({n, n});
    std::copy(m.begin(), m.end(), a.mutable_data());
    return a;
}

// ---- model -----------------------------------------------------------------

struct ParamsView {
    CorePtr c;
};

// A command line typed for its effect (FUNCT n); its text is dropped.
void type_quietly(Core& c, const std::string& line) {
    set_answers(c, "");
    py::gil_scoped_release free;
    type_line(c, line);
    take_output(c);
}

void set_function(const CorePtr& c, long n) {
    if (n < 1 || n > 50) throw py::value_error("function numbers are 1 to 50, not " + std::to_string(n));
    Held h(*c);
    type_quietly(*c, "FUNCT " + std::to_string(n));
}

void set_count(Session& s, long n) {
    if (n < 1 || n > kMaxParams) throw py::value_error("1 to 50 parameters, not " + std::to_string(n));
    s.fit.nparams = static_cast<int>(n);
}

std::vector<double> double_values(const py::handle& values, const char* what) {
    const std::vector<float> check = float_values(values, what, kMaxParams); // dtype, shape, finite
    (void)check;
    auto f = py::array_t<double, py::array::forcecast>::ensure(values);
    return {f.data(), f.data() + f.size()};
}

void set_values(const CorePtr& c, const py::handle& values) {
    const std::vector<double> v = double_values(values, "values");
    if (v.empty()) throw py::value_error("values: at least one parameter");
    Held h(*c);
    Session& s = h.s();
    set_count(s, static_cast<long>(v.size()));
    std::copy(v.begin(), v.end(), s.fit.value.begin());
}

void set_masks(const CorePtr& c, const py::handle& values) {
    const std::vector<double> v = double_values(values, "masks");
    Held h(*c);
    Session& s = h.s();
    if (static_cast<int>(v.size()) != slot_count(s))
        throw py::value_error("masks: one per parameter (" + std::to_string(slot_count(s)) + ")");
    for (double m : v)
        if (m != 0.0 && m != 1.0) throw py::value_error("masks are 0 (fixed) or 1 (varied)");
    for (std::size_t k = 0; k < v.size(); ++k) s.fit.mask[k] = static_cast<int>(v[k]);
}

py::list get_bounds(const CorePtr& c) {
    Held h(*c);
    Session& s = h.s();
    py::list out;
    for (int k = 0; k < slot_count(s); ++k) {
        const ParameterBounds& b = s.fit.bounds[k];
        out.append(py::make_tuple(std::isfinite(b.low) ? py::object(py::float_(b.low)) : py::object(py::none()),
                                  std::isfinite(b.high) ? py::object(py::float_(b.high)) : py::object(py::none())));
    }
    return out;
}

void set_bounds(const CorePtr& c, const py::sequence& bounds) {
    std::vector<ParameterBounds> list;
    for (const py::handle item : bounds) {
        ParameterBounds b;
        if (!item.is_none()) {
            auto pair = py::cast<py::sequence>(item);
            if (py::len(pair) != 2) throw py::value_error("bounds: (low, high) pairs, None for no bound");
            for (int side = 0; side < 2; ++side) {
                const py::object v = pair[static_cast<std::size_t>(side)];
                if (v.is_none()) continue;
                const double d = py::cast<double>(v);
                if (!std::isfinite(d)) throw py::value_error("bounds: finite numbers or None");
                (side == 0 ? b.low : b.high) = d;
            }
            if (!(b.low < b.high)) throw py::value_error("bounds: low below high");
        }
        list.push_back(b);
    }
    Held h(*c);
    Session& s = h.s();
    if (static_cast<int>(list.size()) != slot_count(s))
        throw py::value_error("bounds: one pair per parameter (" + std::to_string(slot_count(s)) + ")");
    std::fill(s.fit.bounds.begin(), s.fit.bounds.end(), ParameterBounds{});
    std::copy(list.begin(), list.end(), s.fit.bounds.begin());
}

// The current function at each X (as float, as the data set holds X).
py::array_t<double> evaluate_at(const CorePtr& c, const py::handle& x) {
    const std::vector<float> xs = float_values(x, "x", static_cast<std::size_t>(1) << 26);
    Held h(*c);
    Session& s = h.s();
    std::vector<double> v(xs.size());
    {
        py::gil_scoped_release free;
        SessionModel model(s);
        const std::span<const double> p(s.fit.value);
        for (std::size_t i = 0; i < xs.size(); ++i) v[i] = model(p, xs[i]);
    }
    return double_array(v.data(), static_cast<int>(v.size()));
}

// ---- readers ---------------------------------------------------------------

std::string import_path(const CorePtr& c, const std::string& path, const py::object& first, const py::object& last,
                        const py::object& compress) {
    if (path.empty() || path.find('\0') != std::string::npos) throw py::value_error("a file name");
    ChannelWindow window;
    if (!first.is_none()) window.first = py::cast<long>(first);
    if (!last.is_none()) window.last = py::cast<long>(last);
    if (!compress.is_none()) {
        const long k = py::cast<long>(compress);
        if (k < 1 || k > 65536) throw py::value_error("compress: 1 to 65536 channels to a point");
        window.group = static_cast<int>(k);
    }
    Held h(*c);
    take_output(*c);
    CommandContext ctx;
    std::string text;
    {
        py::gil_scoped_release free;
        import_named(*c->s, ctx, path, window, ColumnChoice{});
        text = take_output(*c);
    }
    if (ctx.number > 1e-10) raise_os_error(std::string(trim(text)));
    return text;
}

const char* kExperimentNames[10] = {"channels",      "first_channel", "energy_per_channel", "energy_offset",
                                    "normalisation", "beam_mass",     "beam_energy",        "scattering_angle",
                                    "solid_angle",   "charge"};

py::dict get_spectrum(const CorePtr& c) {
    Held h(*c);
    py::dict d;
    for (int i = 0; i < 10; ++i) d[kExperimentNames[i]] = h.s().data.experiment.value[static_cast<std::size_t>(i)];
    return d;
}

void set_spectrum(const CorePtr& c, const py::dict& values) {
    std::array<std::optional<float>, 10> v;
    for (const auto& [key, value] : values) {
        const std::string name = py::cast<std::string>(key);
        const auto at = std::find(std::begin(kExperimentNames), std::end(kExperimentNames), name);
        if (at == std::end(kExperimentNames)) throw py::value_error("no experimental parameter " + name);
        const double d = py::cast<double>(value);
        if (!std::isfinite(d)) throw py::value_error(name + ": a finite number");
        v[static_cast<std::size_t>(at - std::begin(kExperimentNames))] = static_cast<float>(d);
    }
    Held h(*c);
    for (std::size_t i = 0; i < v.size(); ++i)
        if (v[i]) h.s().data.experiment.value[i] = *v[i];
}

// ---- peaks and X-ray lines -------------------------------------------------

// PEAKS (PEAKS t with a threshold), PEAKS/I when asked: the peaks of the
// search as a structured array.
py::object peaks(const CorePtr& c, const py::object& threshold, bool identify) {
    std::string line = "PEAKS";
    if (!threshold.is_none()) {
        const double t = py::cast<double>(threshold);
        if (!(t > 0.0 && t < 1e6)) throw py::value_error("threshold: a positive number of standard deviations");
        line += " " + std::string(trim(format_G(t, 13, 5, 1)));
    }
    Held h(*c);
    Session& s = h.s();
    set_answers(*c, "");
    std::string text;
    bool found = false;
    {
        py::gil_scoped_release free;
        s.peaks.searched = false;
        type_line(*c, line);
        found = s.peaks.searched;
        if (found && identify) type_line(*c, "PEAKS/I");
        text = take_output(*c);
    }
    if (!found) throw py::value_error(std::string(trim(text)));
    const std::vector<FoundPeak>& list = s.peaks.peaks;
    py::list rows;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const FoundPeak& p = list[i];
        std::string name;
        if (identify)
            for (std::size_t j = 0; j < s.peaks.names.size() && j < s.peaks.named_centres.size(); ++j)
                if (s.peaks.named_centres[j] == p.x) name = s.peaks.names[j];
        rows.append(py::make_tuple(p.x, p.fwhm_x, p.height, p.area, p.significance, p.position, name));
    }
    py::module_ np = py::module_::import("numpy");
    py::list fields;
    for (const char* f : {"x", "fwhm", "height", "area", "significance", "position"})
        fields.append(py::make_tuple(f, "f8"));
    fields.append(py::make_tuple("name", "U16"));
    return np.attr("array")(rows, py::arg("dtype") = fields);
}

// The line database of the library directory, read on first use.
XrayDatabase& lines_of(Core& c) {
    take_output(c);
    load_xray_lines(c.s->out(), c.s->physics.lines);
    const std::string text = take_output(c);
    if (!c.s->physics.lines.loaded) raise_os_error(std::string(trim(text)));
    return c.s->physics.lines;
}

py::object line_array(const py::list& rows) {
    py::list fields;
    fields.append(py::make_tuple("set", "U4"));
    for (const char* f : {"energy", "intensity", "difference"}) fields.append(py::make_tuple(f, "f8"));
    return py::module_::import("numpy").attr("array")(rows, py::arg("dtype") = fields);
}

// The lines of one set ("FE", "K"; energies in keV, intensities relative
// to the strongest), as XRAY finds a set.
py::object xray_lines(const CorePtr& c, const std::string& element, const std::string& family) {
    if (element.empty() || element.size() > 2 || family.size() != 1)
        throw py::value_error("an element symbol (1 or 2 letters) and a family (K, L, M)");
    Held h(*c);
    Session& s = h.s();
    XrayDatabase& db = lines_of(*c);
    FixedText<4> name(element + " " + family);
    int isotope = 0, index = 0, count = 0;
    std::array<float, kMaxXrayLines> energies{}, intensities{};
    const bool found = xray_set(s.out(), db, name, isotope, index, count, energies, intensities);
    take_output(*c);
    if (!found) throw py::value_error("no lines of " + element + " " + family + " in " + db.file);
    py::list rows;
    for (int i = 0; i < count && i < kMaxXrayLines; ++i)
        rows.append(py::make_tuple(std::string(name.view()), energies[static_cast<std::size_t>(i)],
                                   intensities[static_cast<std::size_t>(i)], 0.0));
    return line_array(rows);
}

// The lines of the element sets within `tolerance` keV of an energy (as
// XRAY's search: 0.2 keV, 3 keV above 50 keV), nearest first.
py::object near_lines(const CorePtr& c, double energy, const py::object& tolerance) {
    if (!std::isfinite(energy) || energy <= 0) throw py::value_error("energy: a positive number of keV");
    double tol = energy > 50.0 ? 3.0 : 0.2;
    if (!tolerance.is_none()) tol = py::cast<double>(tolerance);
    if (!(tol > 0 && std::isfinite(tol))) throw py::value_error("tolerance: a positive number of keV");
    Held h(*c);
    XrayDatabase& db = lines_of(*c);
    struct Row {
        std::string set;
        double e, i, d;
    };
    std::vector<Row> found;
    const std::size_t sets = std::min<std::size_t>(db.sets.size(), kXraySearchSets);
    for (std::size_t k = 0; k < sets; ++k) {
        const XraySet& set = db.sets[k];
        for (int i = 0; i < set.count && i < kMaxXrayLines; ++i) {
            const double e = set.energy[static_cast<std::size_t>(i)];
            if (std::fabs(e - energy) <= tol)
                found.push_back(
                    {std::string(set.name.view()), e, set.intensity[static_cast<std::size_t>(i)], e - energy});
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Row& a, const Row& b) { return std::fabs(a.d) < std::fabs(b.d); });
    py::list rows;
    for (const Row& r : found) rows.append(py::make_tuple(r.set, r.e, r.i, r.d));
    return line_array(rows);
}

// ---- pictures ----------------------------------------------------------------

// DRAW/X into the named file (its extension picks PDF, SVG or PNG), the
// file closed after the picture, so each call makes one whole file.
std::string draw(Core& c, const std::string& path) {
    if (path.empty() || path.size() > 100 || path.find_first_of(std::string("\n\r\0", 3)) != std::string::npos)
        throw py::value_error("a file name of 1 to 100 characters");
    Session& s = *c.s;
    if (s.data.count <= 0) throw py::value_error("no data to draw");
    set_answers(c, "");
    std::string text;
    {
        py::gil_scoped_release free;
        PlotDriver& x = driver_for(s.graphics, 'X');
        x.close(DriverIo{s.graphics, s.out(), 'X'});
        define_device_name(s, 'X', path);
        type_line(c, "DRAW/X");
        x.close(DriverIo{s.graphics, s.out(), 'X'});
        text = take_output(c);
    }
    if (text.find("Plot written to") == std::string::npos) raise_os_error(std::string(trim(text)));
    return text;
}

// The picture as the bytes of a PNG or SVG file, for a notebook; None
// without data.
py::object picture_bytes(const CorePtr& c, const char* ext) {
    Held h(*c);
    if (h.s().data.count <= 0) return py::none();
    if (c->picture_dir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarva-picture-XXXXXX";
        if (!::mkdtemp(pattern.data())) raise_os_error("no scratch directory for the picture");
        c->picture_dir = pattern;
    }
    const std::string path = c->picture_dir + "/picture" + ext;
    draw(*c, path);
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ::unlink(path.c_str());
    if (std::string(ext) == ".svg") return py::str(bytes);
    return py::bytes(bytes);
}
// ---- the interactive program -------------------------------------------------

extern "C" void stop_on_signal(int sig) { g_stop_signal = sig; }

// `python3 -m tarva`: the program on the standard streams, as its main()
// runs it (arguments, keyboard, start-up, command loop). An interrupt or
// termination ends the loop at the next line, the plot files finished.
int program(const std::vector<std::string>& args) {
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    py::gil_scoped_release free;
    std::cout.flush();
    if (auto status = answer_program_arguments(static_cast<int>(args.size()), argv.data(), std::getenv("TARVA_LIB"),
                                               std::cout, std::cerr))
        return *status;
    struct sigaction sa {
    }, old_int{}, old_term{};
    sa.sa_handler = stop_on_signal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, &old_int);
    ::sigaction(SIGTERM, &sa, &old_term);
    int status = 0;
    {
        Session session(std::cin, std::cout);
        attach_keyboard(session);
        start_up(session, std::cerr);
        status = run_loop(session);
        detach_keyboard(session);
        if (stop_signal()) {
            close_plot_files(session, 'S');
            status = 1;
        }
        session.out().flush();
    }
    std::cout.flush();
    ::sigaction(SIGINT, &old_int, nullptr);
    ::sigaction(SIGTERM, &old_term, nullptr);
    return status;
}

} // namespace
} // namespace tarva

using namespace tarva;

PYBIND11_MODULE(_tarva, m) {
    m.doc() = "tarva's fitting engine, readers and pictures (see the package tarva)";
    m.attr("version") = kVersion;
    m.attr("max_points") = kMaxPoints;
    m.attr("max_params") = kMaxParams;
    m.attr("default_library_dir") = kDefaultLibraryDir;

    m.def("program", &program, py::arg("argv"), "The interactive program on the standard streams.");

    py::class_<DataView>(m, "Data", "The session's data set: X, Y and SIGMA as float32 arrays (copies).")
        .def("__len__", [](const DataView& d) { return Held(*d.c).s().data.count; })
        .def_property(
            "x", [](const DataView& d) { return column(d.c, 0); },
            [](const DataView& d, const py::handle& v) { set_column(d.c, v, 0); })
        .def_property(
            "y", [](const DataView& d) { return column(d.c, 1); },
            [](const DataView& d, const py::handle& v) { set_column(d.c, v, 1); })
        .def_property(
            "sigma", [](const DataView& d) { return column(d.c, 2); },
            [](const DataView& d, const py::handle& v) { set_column(d.c, v, 2); })
        .def(
            "set",
            [](const DataView& d, const py::handle& x, const py::handle& y, const py::object& sigma) {
                set_points(d.c, x, y, sigma);
            },
            py::arg("x"), py::arg("y"), py::arg("sigma") = py::none(),
            "Replaces the points (at most 1024; SIGMA 1 where none is given).")
        .def_property_readonly("caption",
                               [](const DataView& d) { return std::string(Held(*d.c).s().data.caption.trimmed()); })
        .def_property_readonly("x_label",
                               [](const DataView& d) { return std::string(Held(*d.c).s().data.x_label.trimmed()); })
        .def_property_readonly("y_label",
                               [](const DataView& d) { return std::string(Held(*d.c).s().data.y_label.trimmed()); })
        .def_property_readonly("file_name",
                               [](const DataView& d) { return std::string(Held(*d.c).s().data.file_name.trimmed()); });

    py::class_<ParamsView>(m, "Params", "The model's parameters: values, errors, masks, names, bounds.")
        .def("__len__", [](const ParamsView& p) { return slot_count(Held(*p.c).s()); })
        .def_property(
            "count", [](const ParamsView& p) { return slot_count(Held(*p.c).s()); },
            [](const ParamsView& p, long n) {
                Held h(*p.c);
                set_count(h.s(), n);
            })
        .def_property(
            "values",
            [](const ParamsView& p) {
                Held h(*p.c);
                return double_array(h.s().fit.value.data(), slot_count(h.s()));
            },
            [](const ParamsView& p, const py::handle& v) { set_values(p.c, v); })
        .def_property_readonly("errors",
                               [](const ParamsView& p) {
                                   Held h(*p.c);
                                   return double_array(h.s().fit.error.data(), slot_count(h.s()));
                               })
        .def_property(
            "masks",
            [](const ParamsView& p) {
                Held h(*p.c);
                py::array_t<int> a(slot_count(h.s()));
                std::copy_n(h.s().fit.mask.begin(), a.size(), a.mutable_data());
                return a;
            },
            [](const ParamsView& p, const py::handle& v) { set_masks(p.c, v); })
        .def_property_readonly("names",
                               [](const ParamsView& p) {
                                   Held h(*p.c);
                                   Session& s = h.s();
                                   {
                                       SessionModel model(s); // names of the current function
                                       model(std::span<const double>(s.fit.value), 0.0f);
                                   }
                                   std::vector<std::string> names;
                                   for (int k = 0; k < slot_count(s); ++k)
                                       names.emplace_back(trim(s.fit.param_name(k).view()));
                                   return names;
                               })
        .def_property_readonly("function_name",
                               [](const ParamsView& p) {
                                   Held h(*p.c);
                                   Session& s = h.s();
                                   SessionModel model(s);
                                   model(std::span<const double>(s.fit.value), 0.0f);
                                   return std::string(trim(s.fit.function_name().view()));
                               })
        .def_property(
            "bounds", [](const ParamsView& p) { return get_bounds(p.c); },
            [](const ParamsView& p, const py::sequence& b) { set_bounds(p.c, b); });

    py::class_<FitResult>(m, "FitResult", "What a fit found; the session's parameters hold the same values.")
        .def_readonly("kind", &FitResult::kind)
        .def_readonly("names", &FitResult::names)
        .def_property_readonly("values", [](const FitResult& r) { return double_array(r.values.data(), r.nparams); })
        .def_property_readonly("errors", [](const FitResult& r) { return double_array(r.errors.data(), r.nparams); })
        .def_property_readonly("masks",
                               [](const FitResult& r) {
                                   py::array_t<int> a(r.nparams);
                                   std::copy(r.masks.begin(), r.masks.end(), a.mutable_data());
                                   return a;
                               })
        .def_property_readonly("covariance", [](const FitResult& r) { return matrix(r.covariance, r.nparams); })
        .def_property_readonly("correlation", [](const FitResult& r) { return matrix(r.correlation, r.nparams); })
        .def_readonly("chi_square", &FitResult::chi_square)
        .def_readonly("reduced_chi_square", &FitResult::reduced_chi_square)
        .def_readonly("iterations", &FitResult::iterations)
        .def_readonly("points", &FitResult::points)
        .def_readonly("dof", &FitResult::dof)
        .def_readonly("stop", &FitResult::stop)
        .def_readonly("converged", &FitResult::converged)
        .def_readonly("text", &FitResult::text)
        .def("__repr__", [](const FitResult& r) {
            std::string t = "<tarva.FitResult " + r.kind + ": " + r.stop + " after " + std::to_string(r.iterations) +
                            " iterations, reduced chi-square " +
                            std::string(trim(format_G(r.reduced_chi_square, 13, 5, 1))) + ">";
            return t;
        });

    py::class_<Core, CorePtr>(m, "Session")
        .def(py::init([](const std::string& library_dir) { return std::make_shared<Core>(library_dir); }),
             py::arg("library_dir") = "")
        .def("run", &run, py::arg("lines"), py::arg("answers") = py::none(),
             "Types each line at the prompt; the prompts' answers come from `answers` (a list of lines or a "
             "macro's text). Returns the text printed.")
        .def("close",
             [](const CorePtr& c) {
                 py::gil_scoped_release free;
                 std::lock_guard<std::mutex> lock(c->m);
                 close_core(*c);
                 take_output(*c);
             })
        .def_property_readonly("closed",
                               [](const CorePtr& c) {
                                   py::gil_scoped_release free;
                                   std::lock_guard<std::mutex> lock(c->m);
                                   return c->closed;
                               })
        .def_property_readonly("data", [](const CorePtr& c) { return DataView{c}; })
        .def("load", &load, py::arg("path"), "DATA: reads a data file. Returns the text printed; OSError on failure.")
        .def("import_file", &import_path, py::arg("path"), py::arg("first") = py::none(), py::arg("last") = py::none(),
             py::arg("compress") = py::none(),
             "IMPORT: an instrument's spectrum or table, channels first to last, `compress` channels to a point.")
        .def_property("spectrum", &get_spectrum, &set_spectrum,
                      "The experimental parameters (calibration, beam, detector); assign a dict to change some.")
        .def_property(
            "function", [](const CorePtr& c) { return Held(*c).s().fit.function; },
            [](const CorePtr& c, long n) { set_function(c, n); }, "The model function number (FUNCT).")
        .def_property_readonly("params", [](const CorePtr& c) { return ParamsView{c}; })
        .def("evaluate", &evaluate_at, py::arg("x"), "The current function at each X (float32), as float64.")
        .def("peaks", &peaks, py::arg("threshold") = py::none(), py::arg("identify") = false,
             "PEAKS (and PEAKS/I): the peaks found, as a structured array.")
        .def("xray_lines", &xray_lines, py::arg("element"), py::arg("family") = "K")
        .def("lines_near", &near_lines, py::arg("energy"), py::arg("tolerance") = py::none())
        .def(
            "draw",
            [](const CorePtr& c, const std::string& path) {
                Held h(*c);
                return draw(*c, path);
            },
            py::arg("path"), "DRAW/X into a PDF, SVG or PNG file (by the extension).")
        .def("_repr_png_", [](const CorePtr& c) { return picture_bytes(c, ".png"); })
        .def("_repr_svg_", [](const CorePtr& c) { return picture_bytes(c, ".svg"); })
        .def("fit", &fit_described, py::arg("max_iter") = 250)
        .def("fit_converging", &fit_converging, py::arg("max_iter") = kConvergingDefaultIterations);
}
