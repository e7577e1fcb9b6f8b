#include "ACP.h"
#include "General.h"
#include "ResultSink.h"

#include <gtest/gtest.h>

TEST(ResultSink, WithoutAWindowEveryValueIsAcceptedAndNothingIsPresented) {
    EXPECT_TRUE(ResultSink::Get().ShowValue(3, 1.0f, 1.0f));
    int presented = 0;
    ACP::PresentWindow();
    ACP::SetPresentHook([&] { ++presented; });
    ACP::PresentWindow();
    ACP::SetPresentHook({});
    ACP::PresentWindow();
    EXPECT_EQ(presented, 1);
}
