// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One port listing, the presence poll's share of a core over a whole transfer, and the message
// loop's longest pause while the Progress page sends. Needs the message manager running.
void registerTransferBenchmarks();

// The port counts listed and the goals, shared with the summary printed after the run.
namespace transferBenchmarks
{
constexpr int listingPortCounts[] = {0, 4, 32};
// 2 % of a 1 ms pass: what a listing and the pause together may cost a core.
constexpr double listingBudgetMicroseconds = 20;
constexpr double pollShareGoal = 0.02;
constexpr double longestGapGoalMilliseconds = 50;
} // namespace transferBenchmarks
