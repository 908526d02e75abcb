#include "session/dialogue.h"

#include <cstdlib>
#include <ctime>

#include "text/format.h"

namespace tarva {

void input_ended(Session& s) {
    if (s.macro_running()) {
        ++s.interp.unanswered_prompts;
        s.input().pop_macro();
    } else
        s.interp.exit_requested = true;
}

std::optional<std::string> read_answer(Session& s, std::size_t width, bool echo) {
    auto line = s.input().read_line();
    if (!line) {
        input_ended(s);
        return std::nullopt;
    }
    std::string answer = pad(*line, width);
    if (echo && s.macro_running()) s.out().line(trimmed(answer));
    return answer;
}

std::optional<std::string> ask_text(Session& s, std::string_view prompt, std::size_t width, bool echo) {
    s.out().prompt(prompt);
    return read_answer(s, width, echo);
}

std::optional<std::string> ask_file_name(Session& s, std::string_view prompt, std::size_t width, bool echo) {
    const FileNameAnswer file_name(s.input());
    return ask_text(s, prompt, width, echo);
}

void echo_number(Session& s, double value, Echo echo) {
    switch (echo) {
    case Echo::None: return;
    case Echo::G13_5: s.out().line(format_G(value, 13, 5, 1)); return;
    case Echo::Free: s.out().raw(free_real(value) + "\n"); return;
    case Echo::I10: s.out().line(format_I(static_cast<long long>(value), 10)); return;
    }
}

std::optional<double> ask_real(Session& s, std::string_view prompt, Echo echo) {
    return ask_until(s, prompt, [&](const std::string& line) {
        auto v = read_real_field(std::string_view(line).substr(0, std::min<std::size_t>(line.size(), 12)));
        if (v && s.macro_running()) echo_number(s, *v, echo);
        return v;
    });
}

int parse_number_pair(std::string_view text, double& a, double& b) {
    const double a0 = a, b0 = b;
    auto fail = [&] {
        a = a0;
        b = b0;
        return kPairBad;
    };
    auto sep = [](char c) { return c == ' ' || c == ','; };
    std::string_view t = text;
    if (last_nonblank(t) == 0) return kPairOk;
    std::size_t i = 0;
    while (i < t.size() && t[i] == ' ') ++i;
    t = t.substr(i);
    std::size_t end = 0;
    while (end < t.size() && !sep(t[end])) ++end;
    if (end == 0) return fail();
    // Each number is read in a 20-column field: a longer word is read by its
    // first 20 characters, so a macro's answers stay on their prompts.
    auto first = read_real_field(t.substr(0, std::min<std::size_t>(end, 20)));
    if (!first) return fail();
    a = *first;
    t = t.substr(end);
    std::size_t j = 0;
    while (j < t.size() && (sep(t[j]) || t[j] == '\t')) ++j;
    t = t.substr(j);
    if (last_nonblank(t) == 0) return kPairOk;
    end = 0;
    while (end < t.size() && !sep(t[end])) ++end;
    auto second = read_real_field(t.substr(0, std::min<std::size_t>(end, 20)));
    if (!second) return fail();
    b = *second;
    return kPairOk;
}

namespace {

// read_number_pair on an answer line already read.
int answer_number_pair(Session& s, const std::string& line, double& a, double& b, PairEcho echo) {
    std::string answer = line.substr(0, std::min<std::size_t>(line.size(), 80));
    if (!s.macro_running()) return parse_number_pair(answer, a, b);
    if (echo == PairEcho::AsTyped) {
        std::size_t n = std::max<std::size_t>(last_nonblank(answer), 1);
        s.out().raw("+" + pad(answer, n) + "\n");
        return parse_number_pair(answer, a, b);
    }
    // The values as read continue the prompt line; like a single number, an
    // answer that does not read shows nothing before the prompt is repeated.
    const int r = parse_number_pair(answer, a, b);
    if (r == kPairOk) s.out().raw(format_G(a, 13, 5, 1) + format_G(b, 13, 5, 1) + "\n");
    return r;
}

} // namespace

int read_number_pair(Session& s, double& a, double& b, PairEcho echo) {
    auto line = s.input().read_line();
    if (!line) {
        input_ended(s);
        return kPairEnded;
    }
    return answer_number_pair(s, *line, a, b, echo);
}

int ask_number_pair_once(Session& s, std::string_view prompt, double& a, double& b) {
    s.out().prompt(prompt);
    return read_number_pair(s, a, b);
}

bool ask_number_pair(Session& s, std::string_view prompt, double& a, double& b, PairEcho echo) {
    return ask_until(s, prompt,
                     [&](const std::string& line) -> std::optional<bool> {
                         if (answer_number_pair(s, line, a, b, echo) == kPairOk) return true;
                         return std::nullopt;
                     })
        .has_value();
}

std::string home_directory() {
    const char* h = std::getenv("HOME");
    return pad(h ? std::string_view(h) : std::string_view(), 100);
}

namespace {
std::tm local_now() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}
} // namespace

std::string date_stamp() {
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm = local_now();
    // As the date command shows it: "Dec  6" then the year.
    std::string day = format_I(tm.tm_mday, 2);
    return pad(std::string(months[tm.tm_mon % 12]) + " " + day + format_I(tm.tm_year + 1900, 4), 10);
}

std::string time_stamp() {
    std::tm tm = local_now();
    auto two = [](int v) { return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10); };
    return two(tm.tm_hour) + ":" + two(tm.tm_min) + ":" + two(tm.tm_sec);
}

} // namespace tarva
