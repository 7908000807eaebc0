// How long a test waits for the event it needs before it gives up. Tests wait on events, never on
// time; this ceiling only ends a wait that would otherwise hang, so it is far longer than any
// event takes on a machine many times busier than usual.
#pragma once
#include <chrono>

constexpr std::chrono::seconds kEventCeiling{120};
constexpr int kEventCeilingMs = 120000;
