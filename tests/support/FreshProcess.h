// Tests that need a process of their own: the first of something in a
// process (the first delay), or a program-wide state that cannot be undone
// (the updater window and its refresher, which never ends). Such a test is
// written as FreshProcess.DISABLED_<name>, which a plain run skips, and a
// test of the same name runs it in a child process of this binary, so that
// shuffling, repeating or filtering the tests never shares its process.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>

// Runs FreshProcess.DISABLED_<name> of this binary in a child process; passes
// when the child passes it within `timeout`.
testing::AssertionResult PassesInFreshProcess(const std::string& name,
                                              std::chrono::milliseconds timeout = std::chrono::seconds(60));
