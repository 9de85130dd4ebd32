// A program linked with CountingNew.cpp counts every allocation made through
// the global operator new (the sanitizers' runtimes replace it themselves, so
// their builds leave it out).
#pragma once

namespace veltraw::test {

// Allocations since the program started.
long AllocationsSoFar();

}  // namespace veltraw::test
