#pragma once
// Polls a condition until it holds or the time is up (steady clock); returns its last value.

#include <chrono>
#include <thread>

template <typename F>
bool eventually(F f, int ms = 3000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (f())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return f();
}
