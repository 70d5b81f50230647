// Field conditions as the command line writes them: what reaches the library (what is
// refused before it is in the host program's usage table).
#include <gtest/gtest.h>

#include "cli/fields.h"
#include "picdex/host_paths.h"

namespace {

std::string Conditions(const std::string& expr, std::string* error) {
    std::list<_tagSearchCondition> out;
    if (!cli::ParseWhere(expr, &out, error)) return "refused";
    std::string text;
    for (const _tagSearchCondition& c : out)
        text += (text.empty() ? "" : " & ") + std::to_string(c.iFieldID) + " op" +
                std::to_string(c.iOperator) + " " + picdex::TextToUtf8(c.strValue);
    return text;
}

TEST(CliFields, ExpressionsBecomeTheConditionsTheLibraryNeeds) {
    struct Case {
        const char* expr;
        const char* conditions;
    } cases[] = {
        {"ISO >= 400", "34855 op3 400"},
        {"ext=.JPG", "-3 op4 JPG"},
        {"size>2K", "-2 op2 2048"},
        {"exposure>=30/1", "33434 op3 30"},
        {"lat>=48.5", "2 op3 174600"},
        {"lon<-2.25", "4 op6 -8100"},
        // A date stands for every second it covers.
        {"taken>2019-05", "-13 op2 2019-05-31 23:59:59"},
        {"taken<=2020-02", "-13 op5 2020-02-29 23:59:59"},
        {"taken<=2100-02", "-13 op5 2100-02-28 23:59:59"},
        {"taken=2000-02-29", "-13 op3 2000-02-29 00:00:00 & -13 op5 2000-02-29 23:59:59"},
        {"taken~2019-05-01 10:20", "-13 op3 2019-05-01 10:20:00 & -13 op5 2019-05-01 10:20:59"},
        {"modified=2019-05-01T10:20:30", "-6 op4 2019-05-01 10:20:30"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(Conditions(c.expr, &error), c.conditions) << c.expr << ": " << error;
    }
}

}  // namespace
