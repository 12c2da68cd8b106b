// The host runner as a plant runs it: many controllers, a thousand items each read every
// 500 ms, JSON on stdout to a reader slower than the output. Its peak resident memory, and
// how long after --duration it has ended (start-up included), however far output is behind.
#include "bench.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace bench {

namespace {

constexpr int kItems = 1000;

std::string runnerPath()
{
    char self[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir(self, n > 0 ? size_t(n) : 0);
    return dir.substr(0, dir.rfind('/') + 1) + "ab-eip-runner";
}

QByteArray configFor(int controllers)
{
    QByteArray devices;
    for (int c = 0; c < controllers; ++c) {
        QByteArray items;
        for (int i = 0; i < kItems; ++i)
            items += QByteArray(i ? "," : "") + R"({"name":"T)" + QByteArray::number(i) + R"(","address":"T)" +
                     QByteArray::number(i) + R"(","data_type":"Double integer","read_interval_ms":500})";
        devices += QByteArray(c ? "," : "") + R"({"id":)" + QByteArray::number(c + 1) + R"(,"name":"PLC)" +
                   QByteArray::number(c + 1) + R"(","ip_address":"127.22.60.)" + QByteArray::number(c + 1) +
                   R"(","controller_type":"ControlLogix","items":[)" + items + "]}";
    }
    return R"({"devices":[)" + devices + "]}";
}

} // namespace

void runnerAtScale(std::vector<Row> &rows, bool quick)
{
    const int controllers = quick ? 10 : 50;
    const int durationS = quick ? 4 : 10;
    std::vector<absim::TagDef> tags;
    for (int i = 0; i < kItems; ++i)
        tags.push_back(absim::tagDef("T" + std::to_string(i), absim::CipType::Dint, {}, {std::to_string(i)}));
    std::vector<std::unique_ptr<absim::Simulator>> sims;
    for (int c = 0; c < controllers; ++c)
        sims.push_back(startSim(("127.22.60." + std::to_string(c + 1)).c_str(), tags));

    QTemporaryDir dir;
    QFile f(dir.filePath("plant.json"));
    if (!f.open(QIODevice::WriteOnly) || f.write(configFor(controllers)) < 0) {
        std::fprintf(stderr, "runner at scale: cannot write the configuration\n");
        std::exit(1);
    }
    f.close();
    const std::string runner = runnerPath(), config = f.fileName().toStdString(), duration = std::to_string(durationS);
    int out[2];
    if (::pipe(out) != 0)
        std::exit(1);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    const char *argv[] = {runner.c_str(), config.c_str(), "--json", "--duration", duration.c_str(),
                          "--log-level", "none", nullptr};
    pid_t pid = 0;
    const Clock::time_point start = Clock::now();
    if (posix_spawn(&pid, runner.c_str(), &fa, nullptr, const_cast<char **>(argv), environ) != 0) {
        std::fprintf(stderr, "runner at scale: cannot start %s\n", runner.c_str());
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);

    // A reader that takes 64 KiB every 20 ms (3 MiB/s): far less than 100,000 reads a second print.
    std::string last;
    long long lines = 0;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            if (buf[i] == '\n')
                ++lines;
        last.append(buf, size_t(n));
        if (last.size() > 4096)
            last.erase(0, last.size() - 4096);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double lived = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(out[0]);
    const size_t summary = last.rfind("{\"errors\"");

    const std::string label = std::to_string(controllers) + " controllers x 1,000 items / 500 ms";
    Row m{"runner: peak resident MiB, " + label, double(usage.ru_maxrss) / 1024, 0, 0, "target < 150 MiB"};
    m.missed = usage.ru_maxrss >= 150 * 1024;
    rows.push_back(m);
    char note[160];
    std::snprintf(note, sizeof note, "%.2f s after --duration %d, start-up included (target <= 1 s); %lld lines", lived - durationS,
                  durationS, lines);
    Row s{"runner: ends after its duration, slow reader, " + label, (lived - durationS) * 1e6, 0, 0, note};
    s.missed = lived - durationS > 1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    if (summary != std::string::npos)
        s.note += ", summary " + last.substr(summary, last.find('\n', summary) - summary);
    rows.push_back(s);
}

} // namespace bench
