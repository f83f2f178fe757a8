// Measuring driver of the benchmark: runs whole processes from outside and reports wall time
// (monotonic clock around fork, exec and wait4), CPU time and peak resident memory (wait4's
// rusage) per case, many rounds after a warm-up, the cases alternating round by round and
// each round starting one case further on, so that a noisy neighbour hits every case alike.
//
//   bench_driver --plan FILE --runs N --warmup N --server PROGRAM --port P --version V
//                --logs DIR --csv FILE --samples FILE --md FILE [--note TEXT]...
//
// The plan holds one case per line, fields separated by tabs:
//   key  label  expected-exit  server-mode  expected-starts  entries  program  [argument...]
// server-mode is answer, silent, closed or "-" (no request expected, any state will do);
// entries is the size of the string table a case loads, or -1. The case with the key "floor"
// is the reference of every ratio. Children inherit the driver's environment and working
// directory; their output goes to LOGS/<key>.log.
//
// The driver is a child subreaper: a product started detached by a launcher becomes its orphan,
// so every start is seen (the stand-in ends with code 42) and has ended before the next run.
#include "stats.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace bench;

namespace {

constexpr int standInExitCode = 42;
constexpr int runTimeoutMs = 60000;
constexpr int startTimeoutMs = 3000;

struct Case {
    std::string key;
    std::string label;
    int expectedExit = 0;
    std::string mode;
    int expectedStarts = 0;
    long entries = -1;
    std::vector<std::string> argv;

    // Measured rounds only.
    std::vector<double> wallMs;
    std::vector<double> cpuMs;
    std::vector<double> rssMiB;
    std::vector<int> rounds;
    int badExits = 0;
    int timeouts = 0;
    int starts = 0; // in measured and warm-up rounds
    int runs = 0; // in measured and warm-up rounds
    int logFd = -1;
};

struct Sample {
    std::string key;
    int round;
    double wallMs;
    double cpuMs;
    long rssKiB;
    int exitCode;
};

volatile sig_atomic_t alarmed = 0;

void onAlarm(int) { alarmed = 1; }

void armTimer(int milliseconds)
{
    alarmed = 0;
    itimerval timer {};
    timer.it_value.tv_sec = milliseconds / 1000;
    timer.it_value.tv_usec = (milliseconds % 1000) * 1000;
    setitimer(ITIMER_REAL, &timer, nullptr);
}

void disarmTimer()
{
    itimerval timer {};
    setitimer(ITIMER_REAL, &timer, nullptr);
}

double milliseconds(const timespec& from, const timespec& to)
{
    return double(to.tv_sec - from.tv_sec) * 1e3 + double(to.tv_nsec - from.tv_nsec) / 1e6;
}

std::vector<std::string> split(const std::string& line, char separator)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream stream(line);
    while (std::getline(stream, field, separator))
        fields.push_back(field);
    return fields;
}

// The local download server, a child process driven through pipes.
class Server {
public:
    bool start(const std::string& program, const std::string& port, const std::string& version)
    {
        int toServer[2];
        int fromServer[2];
        if (pipe2(toServer, O_CLOEXEC) != 0 || pipe2(fromServer, O_CLOEXEC) != 0)
            return false;
        pid = fork();
        if (pid == 0) {
            dup2(toServer[0], STDIN_FILENO);
            dup2(fromServer[1], STDOUT_FILENO);
            execl(program.c_str(), program.c_str(), "--port", port.c_str(), "--version",
                version.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(toServer[0]);
        close(fromServer[1]);
        if (pid < 0)
            return false;
        input = toServer[1];
        output = fdopen(fromServer[0], "r");
        return readLine() == "ok";
    }

    // Sends a command and returns the server's answer line ("" when it is gone).
    std::string command(const std::string& text)
    {
        const std::string line = text + "\n";
        if (write(input, line.data(), line.size()) != ssize_t(line.size()))
            return std::string();
        return readLine();
    }

    bool setMode(const std::string& mode)
    {
        if (mode == "-" || mode == current)
            return true;
        if (command(mode) != "ok")
            return false;
        current = mode;
        return true;
    }

    void stop()
    {
        if (pid <= 0)
            return;
        close(input);
        int status;
        waitpid(pid, &status, 0);
        fclose(output);
        pid = -1;
    }

    pid_t pid = -1;

private:
    std::string readLine()
    {
        char buffer[512];
        if (!output || !std::fgets(buffer, sizeof buffer, output))
            return std::string();
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        return line;
    }

    int input = -1;
    FILE* output = nullptr;
    std::string current = "closed";
};

pid_t serverPid = -1;
bool serverLost = false;

// Reaps orphans (detached products) and counts the stand-in's starts. Blocks until `wanted`
// starts were seen or `timeoutMs` passed; with `wanted` 0 it only takes what has already ended.
int reapStarts(int wanted, int timeoutMs)
{
    int seen = 0;
    if (wanted > 0)
        armTimer(timeoutMs);
    for (;;) {
        int status;
        const pid_t pid = waitpid(-1, &status, seen < wanted ? 0 : WNOHANG);
        if (pid < 0 && errno == EINTR) {
            if (alarmed)
                break;
            continue;
        }
        if (pid <= 0)
            break;
        if (pid == serverPid) {
            serverLost = true;
            continue;
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) == standInExitCode)
            ++seen;
    }
    disarmTimer();
    return seen;
}

struct RunResult {
    double wallMs = 0;
    double cpuMs = 0;
    long rssKiB = 0;
    int exitCode = -1;
    bool timedOut = false;
};

RunResult runOnce(const Case& c)
{
    std::vector<char*> argv;
    for (const std::string& argument : c.argv)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    RunResult result;
    timespec start;
    timespec end;
    rusage usage {};
    int status = 0;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        dup2(c.logFd, STDOUT_FILENO);
        dup2(c.logFd, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0)
        return result;
    armTimer(runTimeoutMs);
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR)
            break;
        if (alarmed) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            alarmed = 0;
        }
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    disarmTimer();
    result.wallMs = milliseconds(start, end);
    result.cpuMs = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    result.rssKiB = usage.ru_maxrss;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// Distinct lines of a case's output, each with how often it came.
std::vector<std::pair<std::string, int>> outputLines(const std::string& path)
{
    std::vector<std::pair<std::string, int>> lines;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        auto it = std::find_if(lines.begin(), lines.end(),
            [&](const std::pair<std::string, int>& entry) { return entry.first == line; });
        if (it == lines.end())
            lines.emplace_back(line, 1);
        else
            ++it->second;
    }
    return lines;
}

void usage()
{
    std::fprintf(stderr,
        "usage: bench_driver --plan FILE --runs N --warmup N --server PROGRAM --port P "
        "--version V --logs DIR --csv FILE --samples FILE --md FILE [--note TEXT]...\n");
}

} // namespace

int main(int argc, char* argv[])
{
    std::map<std::string, std::string> options;
    std::vector<std::string> notes;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--note") == 0)
            notes.push_back(argv[i + 1]);
        else
            options[argv[i]] = argv[i + 1];
    }
    for (const char* required : { "--plan", "--runs", "--warmup", "--server", "--port", "--version",
             "--logs", "--csv", "--samples", "--md" }) {
        if (!options.count(required)) {
            usage();
            return 2;
        }
    }
    const int runs = std::atoi(options["--runs"].c_str());
    const int warmup = std::atoi(options["--warmup"].c_str());
    if (runs < 1 || warmup < 0) {
        usage();
        return 2;
    }

    std::vector<Case> cases;
    {
        std::ifstream plan(options["--plan"]);
        std::string line;
        while (std::getline(plan, line)) {
            if (line.empty() || line[0] == '#')
                continue;
            const std::vector<std::string> fields = split(line, '\t');
            if (fields.size() < 7) {
                std::fprintf(stderr, "bench_driver: bad plan line: %s\n", line.c_str());
                return 2;
            }
            Case c;
            c.key = fields[0];
            c.label = fields[1];
            c.expectedExit = std::atoi(fields[2].c_str());
            c.mode = fields[3];
            c.expectedStarts = std::atoi(fields[4].c_str());
            c.entries = std::atol(fields[5].c_str());
            c.argv.assign(fields.begin() + 6, fields.end());
            const std::string log = options["--logs"] + "/" + c.key + ".log";
            c.logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
            if (c.logFd < 0) {
                std::fprintf(stderr, "bench_driver: cannot write %s\n", log.c_str());
                return 2;
            }
            cases.push_back(c);
        }
    }
    if (cases.empty()) {
        std::fprintf(stderr, "bench_driver: empty plan\n");
        return 2;
    }

    struct sigaction action { };
    action.sa_handler = onAlarm;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, nullptr); // no SA_RESTART: a blocked wait is interrupted
    signal(SIGPIPE, SIG_IGN);
    prctl(PR_SET_CHILD_SUBREAPER, 1);

    Server server;
    if (!server.start(options["--server"], options["--port"], options["--version"])) {
        std::fprintf(stderr, "bench_driver: the download server did not start\n");
        return 1;
    }
    serverPid = server.pid;

    std::vector<Sample> samples;
    const size_t k = cases.size();
    Case* previous = nullptr;
    for (int round = 0; round < warmup + runs; ++round) {
        const bool measured = round >= warmup;
        for (size_t i = 0; i < k; ++i) {
            Case& c = cases[(i + size_t(round)) % k];
            if (previous)
                previous->starts += reapStarts(0, 0); // late starts count for their own case
            if (!server.setMode(c.mode)) {
                std::fprintf(
                    stderr, "bench_driver: the server cannot switch to %s\n", c.mode.c_str());
                server.stop();
                return 1;
            }
            const RunResult result = runOnce(c);
            c.starts += reapStarts(c.expectedStarts, startTimeoutMs);
            previous = &c;
            ++c.runs;
            if (result.timedOut)
                ++c.timeouts;
            if (result.exitCode != c.expectedExit)
                ++c.badExits;
            if (!measured)
                continue;
            c.wallMs.push_back(result.wallMs);
            c.cpuMs.push_back(result.cpuMs);
            c.rssMiB.push_back(double(result.rssKiB) / 1024.0);
            c.rounds.push_back(round - warmup);
            samples.push_back({ c.key, round - warmup, result.wallMs, result.cpuMs, result.rssKiB,
                result.exitCode });
        }
        std::fprintf(stderr, "\rbench: round %d of %d (%s)", round + 1, warmup + runs,
            measured ? "measured" : "warm-up");
    }
    std::fprintf(stderr, "\n");
    if (previous)
        previous->starts += reapStarts(0, 0);
    const std::string stats = server.command("stats");
    server.stop();

    // Figures per case.
    const Case* floor = nullptr;
    for (const Case& c : cases) {
        if (c.key == "floor")
            floor = &c;
    }
    const double floorWall = floor ? median(floor->wallMs) : NAN;
    const double floorRss = floor ? median(floor->rssMiB) : NAN;
    std::map<std::string, double> wallOf;
    std::map<std::string, double> rssOf;
    for (const Case& c : cases) {
        wallOf[c.key] = median(c.wallMs);
        rssOf[c.key] = median(c.rssMiB);
    }
    // The ratio within each round, where the case and the floor met the same neighbours.
    auto pairedRatio = [&](const Case& c) -> double {
        if (!floor)
            return NAN;
        std::vector<double> ratios;
        for (size_t i = 0; i < c.rounds.size(); ++i) {
            for (size_t j = 0; j < floor->rounds.size(); ++j) {
                if (floor->rounds[j] == c.rounds[i])
                    ratios.push_back(c.wallMs[i] / floor->wallMs[j]);
            }
        }
        return median(ratios);
    };

    // Table scaling: every case with a table size, against the one with 0 entries.
    std::vector<const Case*> tables;
    for (const Case& c : cases) {
        if (c.entries >= 0)
            tables.push_back(&c);
    }
    std::sort(tables.begin(), tables.end(),
        [](const Case* a, const Case* b) { return a->entries < b->entries; });
    const Case* emptyTable
        = !tables.empty() && tables.front()->entries == 0 ? tables.front() : nullptr;
    auto addedMs = [&](const Case& c) {
        return emptyTable ? median(c.wallMs) - median(emptyTable->wallMs) : NAN;
    };
    // CPU time as well: on a busy machine it is the steadier of the two.
    auto addedCpuMs = [&](const Case& c) {
        return emptyTable ? median(c.cpuMs) - median(emptyTable->cpuMs) : NAN;
    };
    auto perEntryUs = [&](const Case& c) {
        return c.entries > 0 ? addedMs(c) * 1000.0 / double(c.entries) : NAN;
    };
    std::vector<double> xs;
    std::vector<double> ys;
    for (const Case* c : tables) {
        xs.push_back(double(c->entries));
        ys.push_back(median(c->wallMs));
    }
    const Fit fit = leastSquares(xs, ys);

    // Summary CSV.
    {
        std::ofstream csv(options["--csv"]);
        csv << "row,label,runs,wall_median_ms,wall_min_ms,wall_max_ms,ratio_to_floor,"
               "paired_ratio_median,cpu_median_ms,rss_median_mib,rss_min_mib,rss_max_mib,"
               "rss_minus_floor_mib,expected_exit,bad_exits,timeouts,starts,expected_starts,"
               "entries,added_vs_empty_table_ms,per_entry_us,added_cpu_vs_empty_table_ms\n";
        for (const Case& c : cases) {
            const double wall = median(c.wallMs);
            const double rss = median(c.rssMiB);
            csv << c.key << ",\"" << c.label << "\"," << c.wallMs.size() << "," << fixed(wall, 2)
                << "," << fixed(minimum(c.wallMs), 2) << "," << fixed(maximum(c.wallMs), 2) << ","
                << fixed(wall / floorWall, 3) << "," << fixed(pairedRatio(c), 3) << ","
                << fixed(median(c.cpuMs), 2) << "," << fixed(rss, 2) << ","
                << fixed(minimum(c.rssMiB), 2) << "," << fixed(maximum(c.rssMiB), 2) << ","
                << fixed(rss - floorRss, 2) << "," << c.expectedExit << "," << c.badExits << ","
                << c.timeouts << "," << c.starts << "," << c.expectedStarts * c.runs << ",";
            if (c.entries >= 0)
                csv << c.entries << "," << fixed(addedMs(c), 2) << "," << fixed(perEntryUs(c), 3)
                    << "," << fixed(addedCpuMs(c), 2);
            else
                csv << ",,,";
            csv << "\n";
        }
    }
    {
        std::ofstream csv(options["--samples"]);
        csv << "row,round,wall_ms,cpu_ms,max_rss_kib,exit_code\n";
        for (const Sample& s : samples)
            csv << s.key << "," << s.round << "," << fixed(s.wallMs, 3) << "," << fixed(s.cpuMs, 3)
                << "," << s.rssKiB << "," << s.exitCode << "\n";
    }

    // Markdown.
    std::ostringstream md;
    md << "| Row | Wall median (ms) | Min | Max | × floor | CPU median (ms) | Peak RSS (MiB) "
          "| RSS − floor (MiB) |\n";
    md << "|---|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const Case& c : cases) {
        const double wall = median(c.wallMs);
        const double rss = median(c.rssMiB);
        md << "| " << c.label << " | " << fixed(wall) << " | " << fixed(minimum(c.wallMs)) << " | "
           << fixed(maximum(c.wallMs)) << " | " << fixed(wall / floorWall, 2) << " | "
           << fixed(median(c.cpuMs)) << " | " << fixed(rss) << " | "
           << (&c == floor ? std::string("–") : signedFixed(rss - floorRss)) << " |\n";
    }
    for (const std::string& note : notes)
        md << "\n" << note << "\n";
    md << "\n"
       << runs << " measured runs per row after " << warmup
       << " warm-up rounds; the rows alternate within each round and each round starts one row "
          "further on. Medians with min and max; × floor is the ratio of medians (the median of "
          "the per-round ratios is in the CSV).\n";

    bool tablesMeasurable = true;
    if (!tables.empty()) {
        md << "\n### String table scaling\n\n";
        md << "| Entries | Wall median (ms) | Added vs. empty table (ms) | Per entry (µs) "
              "| Added CPU (ms) | Peak RSS (MiB) | × floor |\n";
        md << "|---:|---:|---:|---:|---:|---:|---:|\n";
        for (const Case* c : tables) {
            md << "| " << grouped(c->entries) << " | " << fixed(median(c->wallMs)) << " | "
               << (c == emptyTable ? std::string("–") : signedFixed(addedMs(*c))) << " | "
               << (c->entries > 0 ? fixed(perEntryUs(*c), 2) : std::string("–")) << " | "
               << (c == emptyTable ? std::string("–") : signedFixed(addedCpuMs(*c))) << " | "
               << fixed(median(c->rssMiB)) << " | " << fixed(median(c->wallMs) / floorWall, 2)
               << " |\n";
        }
        if (!std::isnan(fit.slope)) {
            const std::string slope = signedFixed(fit.slope * 1000.0, 3);
            md << "\nLeast-squares line over the medians: " << fixed(fit.intercept) << " ms "
               << (slope[0] == '-' ? "− " : "+ ") << slope.substr(1)
               << " µs × entries, R² = " << fixed(fit.r2, 4) << ".";
        }
        if (tables.size() >= 3 && emptyTable) {
            const Case& largest = *tables.back();
            const Case& next = *tables[tables.size() - 2];
            const double added = addedMs(largest);
            const double base = median(emptyTable->wallMs);
            tablesMeasurable = added > 5.0 && added > 0.05 * base;
            if (!tablesMeasurable) {
                md << " The largest table adds " << signedFixed(added)
                   << " ms, within the noise: no measurable growth with the table size (are the "
                      "tables loaded at all?).";
            } else {
                // A per-entry cost within half again of the next size's counts as linear: a
                // map's logarithmic insertion alone makes it creep up a little.
                const double growth = perEntryUs(largest) / perEntryUs(next);
                const bool linear = growth > 1 / 1.5 && growth < 1.5 && fit.r2 >= 0.95;
                md << " Cost per entry at " << grouped(largest.entries) << " entries / at "
                   << grouped(next.entries) << " = " << fixed(growth, 2) << ": "
                   << (linear ? "linear (per-entry cost within ±50 %)" : "NOT linear") << ".";
            }
        }
        if (!std::isnan(fit.slope))
            md << "\n";
    }

    // The figures the performance work aims at.
    auto has = [&](const char* key) { return wallOf.count(key) && !std::isnan(wallOf[key]); };
    auto verdict = [](bool met) { return met ? "met" : "not met"; };
    std::ostringstream targets;
    if (floor && has("direct")) {
        const double ratio = wallOf["direct"] / floorWall;
        targets << "| direct ≤ 1.15 × floor (wall) | " << fixed(ratio, 2) << " × | "
                << verdict(ratio <= 1.15) << " |\n";
        const double extra = rssOf["direct"] - floorRss;
        targets << "| direct peak RSS ≤ floor + 6 MiB | " << signedFixed(extra) << " MiB | "
                << verdict(extra <= 6.0) << " |\n";
    }
    if (has("refused") && has("direct")) {
        const double extra = wallOf["refused"] - wallOf["direct"];
        targets << "| refused ≤ direct + 5 ms | " << signedFixed(extra) << " ms | "
                << verdict(extra <= 5.0) << " |\n";
    }
    if (floor && has("silent")) {
        const double extra = wallOf["silent"] - floorWall;
        targets << "| silent ≤ floor + 1050 ms | " << signedFixed(extra, 0) << " ms | "
                << verdict(extra <= 1050.0) << " |\n";
    }
    if (floor && has("second")) {
        const double ratio = wallOf["second"] / floorWall;
        targets << "| second instance ≤ 0.9 × floor | " << fixed(ratio, 2) << " × | "
                << verdict(ratio <= 0.9) << " |\n";
    }
    for (const Case* c : tables) {
        if (c->entries == 10000 && emptyTable) {
            const double added = addedMs(*c);
            targets << "| 10,000 entries add ≤ 120 ms | " << signedFixed(added) << " ms | "
                    << verdict(added <= 120.0)
                    << (tablesMeasurable ? "" : " (no measurable table cost at all)") << " |\n";
        }
    }
    if (!targets.str().empty()) {
        md << "\n### Targets\n\n| Target | Measured | |\n|---|---:|---|\n" << targets.str();
        // A target met by a launcher that skips the work says nothing; say so beside it.
        long answered = -1;
        long unanswered = -1;
        std::sscanf(stats.c_str(), "answered %ld silent %ld", &answered, &unanswered);
        if (has("direct") && answered == 0)
            md << "\nThe download server answered no request: this launcher makes no update "
                  "check, so the direct, refused and silent rows measure it without one.\n";
        else if (has("silent") && unanswered == 0)
            md << "\nNo connection reached the silent server.\n";
    }

    // Checks: every run ended as expected, started the product as expected; what was said.
    md << "\n### Checks\n\n";
    bool allGood = true;
    for (const Case& c : cases) {
        const int expectedStarts = c.expectedStarts * c.runs;
        if (c.badExits || c.timeouts || c.starts != expectedStarts) {
            allGood = false;
            md << "- " << c.label << ": " << c.badExits << " of " << c.runs
               << " runs ended with another exit code than " << c.expectedExit << ", " << c.timeouts
               << " timed out, product started " << c.starts << " times (expected "
               << expectedStarts << ").\n";
        }
    }
    if (allGood)
        md << "- Every run ended with its expected exit code and started the product exactly when "
              "expected.\n";
    md << "- Download server: " << (stats.empty() ? std::string("no statistics") : stats)
       << (serverLost ? " (the server ended early)" : "")
       << " (requests answered, connections left unanswered, first path asked for).\n";
    for (const Case& c : cases) {
        const auto lines = outputLines(options["--logs"] + "/" + c.key + ".log");
        for (const auto& line : lines)
            md << "- Output of " << c.label << ": `" << line.first << "` (" << line.second << " of "
               << c.runs << " runs)\n";
    }

    std::ofstream(options["--md"]) << md.str();
    std::fputs(md.str().c_str(), stdout);
    return allGood && !serverLost ? 0 : 1;
}
