#include "rig.h"
TEST(Smoke, Builds) { EXPECT_EQ(v2_length(v2(3, 4)), 5.0f); }
