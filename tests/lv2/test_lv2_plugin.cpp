#include <gtest/gtest.h>
TEST(Lv2Plugin, Placeholder) {}
