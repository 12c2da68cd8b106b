// Prints one table: the loopback floor and each figure with its ratio to the floor, all from
// this run, so that the ratios hold on a noisy machine.
#include "floor.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Row {
    std::string name;
    double micros;     // per operation
    double floorUnits; // how many floor round trips the operation stands for (0: no ratio)
    double target;     // ratio target, 0 when none
};

void print(const std::vector<Row> &rows, double floor)
{
    std::printf("%-48s %14s %10s %8s\n", "benchmark", "us/op", "ratio", "target");
    std::printf("%-48s %14.2f %10s %8s\n", "floor: TCP 64 B out / 50 B back, loopback", floor, "1.00", "");
    for (const Row &r : rows) {
        if (r.floorUnits > 0) {
            const double ratio = r.micros / (r.floorUnits * floor);
            std::printf("%-48s %14.2f %10.2f %8s%s\n", r.name.c_str(), r.micros, ratio,
                        r.target > 0 ? (std::to_string(r.target).substr(0, 4) + "x").c_str() : "",
                        r.target > 0 && ratio > r.target ? "  MISSED" : "");
        } else {
            std::printf("%-48s %14.2f %10s %8s\n", r.name.c_str(), r.micros, "", "");
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    int rounds = 20000;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--quick") == 0)
            rounds = 2000;
    const double floor = measureFloorMicros("127.0.50.1", rounds);
    if (floor <= 0) {
        std::fprintf(stderr, "floor measurement failed\n");
        return 1;
    }
    std::vector<Row> rows;
    print(rows, floor);
    return 0;
}
