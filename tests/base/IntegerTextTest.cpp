#include "base/IntegerText.h"

#include "base/Exception.h"

#include <gtest/gtest.h>

using base::IntegerForm;
using base::TryReadInteger;

TEST(IntegerText, ReadsWholeTextsWithBlanksSignAndHex) {
    struct Case {
        const char *text;
        IntegerForm form;
        std::optional<std::int32_t> expected;
    };
    const Case cases[] = {
        {"42", IntegerForm::Decimal, 42},
        {"   -7", IntegerForm::Decimal, -7},
        {"+13", IntegerForm::Decimal, 13},
        {"2147483647", IntegerForm::Decimal, 2147483647},
        {"-2147483648", IntegerForm::Decimal, -2147483647 - 1},
        {"2147483648", IntegerForm::Decimal, std::nullopt},
        {"12 ", IntegerForm::Decimal, std::nullopt},
        {"", IntegerForm::Decimal, std::nullopt},
        {" ", IntegerForm::Decimal, std::nullopt},
        {"-", IntegerForm::Decimal, std::nullopt},
        {"1.5", IntegerForm::Decimal, std::nullopt},
        {"0x10", IntegerForm::Decimal, std::nullopt},
        {"0x10", IntegerForm::DecimalOrHex, 16},
        {"0X0", IntegerForm::DecimalOrHex, 0},
        {"$ff", IntegerForm::DecimalOrHex, 255},
        {"$FFFFFFFF", IntegerForm::DecimalOrHex, -1},
        {"$FFFFFFFFFFFFFFFF", IntegerForm::DecimalOrHex, std::nullopt},
        {"0x", IntegerForm::DecimalOrHex, std::nullopt},
        {"no", IntegerForm::DecimalOrHex, std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(TryReadInteger(c.text, c.form), c.expected) << '"' << c.text << '"';
}

TEST(IntegerText, StrToIntNamesTheTextInItsError) {
    try {
        base::StrToInt("12a");
        FAIL() << "no exception";
    } catch (const base::EConvertError &error) {
        EXPECT_EQ(error.Message(), "'12a' is not a valid integer value");
    }
    EXPECT_EQ(base::StrToIntDef("x", 9), 9);
}
