// ab-sim: simulated EtherNet/IP controllers on loopback addresses, for the demo and manual
// tries. Lines on stdin control it: "get <address> <tag>[index]", "set <address> <tag>[index]
// <value>", "quit".
#include "absim/simulator.h"

#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t gStop = 0;

void onSignal(int)
{
    gStop = 1;
}

void usage(std::FILE *to)
{
    std::fprintf(to, "usage: ab-sim [--config file.json] | [--personality P] [--address A] [--port N]\n"
                     "              [--tags file.json] [--tag \"Name:TYPE[dims]=v1,v2\"]... [--quirks q1,q2]\n"
                     "              [--response-delay-us N]   (before every reply, all controllers)\n"
                     "personalities: controllogix compactlogix flexlogix micro800 omron slc500 micrologix plc5\n"
                     "quirks: stored-context o2t-id off-layout-cpf fragment-490 cip-strings unknown-tag-closes\n");
}

// "Tag[3]" -> name and index.
void splitIndex(const std::string &ref, std::string *name, size_t *index)
{
    const size_t b = ref.rfind('[');
    *index = 0;
    *name = ref;
    if (b != std::string::npos && ref.back() == ']') {
        *name = ref.substr(0, b);
        *index = std::strtoul(ref.c_str() + b + 1, nullptr, 10);
    }
}

void command(const std::string &line, std::vector<std::unique_ptr<absim::Simulator>> &sims)
{
    std::istringstream in(line);
    std::string verb, address, ref;
    in >> verb >> address >> ref;
    absim::Simulator *sim = nullptr;
    for (auto &s : sims)
        if (s->config().address == address)
            sim = s.get();
    if (!sim || ref.empty()) {
        std::printf("error unknown controller or tag\n");
        return;
    }
    std::string name;
    size_t index;
    splitIndex(ref, &name, &index);
    if (verb == "get") {
        if (auto s = sim->getString(name, index))
            std::printf("%s %s\n", ref.c_str(), s->c_str());
        else if (auto i = sim->getInt(name, index))
            std::printf("%s %lld\n", ref.c_str(), static_cast<long long>(*i));
        else if (auto d = sim->getDouble(name, index))
            std::printf("%s %.9g\n", ref.c_str(), *d);
        else
            std::printf("error no such tag %s\n", ref.c_str());
    } else if (verb == "set") {
        std::string value;
        std::getline(in >> std::ws, value);
        std::printf(sim->setString(name, value, index) ? "ok\n" : "error cannot set %s\n", ref.c_str());
    } else {
        std::printf("error unknown command %s\n", verb.c_str());
    }
    std::fflush(stdout);
}

// "--response-delay-us N": a whole number of microseconds up to a minute.
bool parseDelay(const std::string &text, int *us)
{
    char *end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || v < 0 || v > 60000000)
        return false;
    *us = int(v);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<absim::Config> configs;
    absim::Config single;
    bool haveSingle = false;
    int delayUs = -1; // from the command line: overrides the files
    std::string error;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "ab-sim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else if (a == "--config") {
            if (!absim::loadConfigFile(next(), &configs, &error)) {
                std::fprintf(stderr, "ab-sim: %s\n", error.c_str());
                return 2;
            }
        } else if (a == "--personality") {
            if (!absim::parsePersonality(next(), &single.personality)) {
                std::fprintf(stderr, "ab-sim: unknown personality\n");
                return 2;
            }
            haveSingle = true;
        } else if (a == "--address") {
            single.address = next();
            haveSingle = true;
        } else if (a == "--port") {
            single.port = static_cast<uint16_t>(std::atoi(next().c_str()));
            haveSingle = true;
        } else if (a == "--tags") {
            std::vector<absim::Config> fromFile;
            if (!absim::loadConfigFile(next(), &fromFile, &error) || fromFile.empty()) {
                std::fprintf(stderr, "ab-sim: %s\n", error.c_str());
                return 2;
            }
            for (const auto &c : fromFile)
                single.tags.insert(single.tags.end(), c.tags.begin(), c.tags.end());
            haveSingle = true;
        } else if (a == "--response-delay-us") {
            if (!parseDelay(next(), &delayUs)) {
                std::fprintf(stderr, "ab-sim: --response-delay-us takes microseconds, 0 to 60000000\n");
                return 2;
            }
        } else if (a == "--quirks") {
            std::istringstream list(next());
            std::string name;
            while (std::getline(list, name, ','))
                if (!absim::enableQuirk(name, &single.quirks)) {
                    std::fprintf(stderr, "ab-sim: unknown quirk %s\n", name.c_str());
                    return 2;
                }
            haveSingle = true;
        } else if (a == "--tag") {
            absim::TagDef t;
            if (!absim::parseTagSpec(next(), &t, &error)) {
                std::fprintf(stderr, "ab-sim: %s\n", error.c_str());
                return 2;
            }
            single.tags.push_back(t);
            haveSingle = true;
        } else {
            std::fprintf(stderr, "ab-sim: unknown argument %s\n", a.c_str());
            usage(stderr);
            return 2;
        }
    }
    if (haveSingle || configs.empty()) {
        single.identity = absim::defaultIdentity(single.personality);
        configs.push_back(single);
    }

    if (delayUs >= 0)
        for (auto &c : configs)
            c.responseDelayUs = delayUs;

    std::vector<std::unique_ptr<absim::Simulator>> sims;
    for (const auto &c : configs) {
        sims.push_back(std::make_unique<absim::Simulator>(c));
        if (!sims.back()->start(&error)) {
            std::fprintf(stderr, "ab-sim: %s\n", error.c_str());
            return 1;
        }
        std::printf("listening %s:%u %s", c.address.c_str(), unsigned(c.port), absim::personalityName(c.personality));
        if (c.responseDelayUs > 0)
            std::printf(", replies after %d us", c.responseDelayUs);
        std::printf("\n");
    }
    std::fflush(stdout);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    std::string pending;
    bool stdinOpen = true;
    while (!gStop) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (!stdinOpen || ::poll(&p, 1, 200) <= 0) {
            if (!stdinOpen)
                ::poll(nullptr, 0, 200);
            continue;
        }
        char buf[4096];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            stdinOpen = false; // keep serving until a signal
            continue;
        }
        pending.append(buf, size_t(n));
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (line == "quit")
                gStop = 1;
            else if (!line.empty())
                command(line, sims);
        }
    }
    for (auto &s : sims)
        s->stop();
    return 0;
}
