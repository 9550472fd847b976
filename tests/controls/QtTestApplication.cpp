#include "tests/support/QtTestEnvironment.h"

namespace {

[[maybe_unused]] testing::Environment *const environment =
    testing::AddGlobalTestEnvironment(new QtTestEnvironment("tests_controls"));

} // namespace
