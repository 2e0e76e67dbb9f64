// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "platform/FourCC.h"

namespace morvale {
namespace {

// The printable form the call log uses.
TEST(FourCC, PrintsPrintableCodesAsTextAndOthersAsNumbers) {
    EXPECT_EQ(fourCCString(kDeviceStreams), "'stm#'");
    EXPECT_EQ(fourCCString(kDeviceUID), "'uid '");      // a space is printable
    EXPECT_EQ(fourCCString(0x41424301), "1094861569");  // not printable: shown as a number
}

}  // namespace
}  // namespace morvale
