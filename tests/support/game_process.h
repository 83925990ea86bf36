#pragma once

#include <QString>

namespace vorn::test {

// The game client name that every game check of this test process, and of the programs it
// starts, looks for: unique on the machine, so that stand-in clients of another test run are
// never taken for ours, nor ours for theirs. Sets it up on the first call.
QString ownGameProcessName();

} // namespace vorn::test
