#include "app/core/Strings.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// Each id has one text and each text one id, so a text is looked up, never written again.
TEST(StringsTest, IdsAndTextsAreEachUnique) {
    std::set<int> ids;
    std::set<std::string> texts;
    for (const App::StringRow& row : App::kStrings) {
        EXPECT_TRUE(ids.insert(static_cast<int>(row.id)).second) << static_cast<int>(row.id);
        EXPECT_TRUE(texts.insert(row.text).second) << row.text;
        EXPECT_STRNE(row.text, "") << static_cast<int>(row.id);
        EXPECT_EQ(App::Text(row.id), row.text);
    }
    EXPECT_STREQ(App::Text(static_cast<App::StringId>(-1)), "");
}

}  // namespace
