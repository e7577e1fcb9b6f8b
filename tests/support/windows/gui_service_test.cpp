#include "GUIService.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>

#include <gtest/gtest.h>

TEST(SelectAllText, TextBoxesSelectEverythingOthersUntouched) {
    QLineEdit box("-12.5");
    box.setCursorPosition(2);
    GUIService::SelectAllText(&box);
    EXPECT_EQ(box.selectedText(), QString("-12.5"));
    QCheckBox other("x");
    GUIService::SelectAllText(&other); // must simply do nothing
    GUIService::SelectAllText(nullptr);
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
