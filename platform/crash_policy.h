#pragma once
// What becomes of a failure of the program itself in a run that nobody watches.

namespace zelvane {

// For a run that nobody watches: no failure of the program, a crash included, shows a box or
// waits for an answer. A fault (an access violation) ends the process with the fault's own code,
// and an unexpected failure of the C++ runtime (std::terminate, abort) with kInternalFailureCode.
void ShowNoFailureBoxes();

// The exit code of a program that ShowNoFailureBoxes kept from showing an internal failure:
// 0xC0000409, the code with which Windows ends a program that stops itself on one.
inline constexpr unsigned long kInternalFailureCode = 0xC0000409;

}  // namespace zelvane
