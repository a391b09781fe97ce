// Value writers and readers of the page calls, and the component messages.
#include <gtest/gtest.h>

#include <clocale>
#include <limits>

#include "gm_messages.h"
#include "gm_values.h"

TEST(MapValues, RealNumbersUseFifteenDigitsAndDotWhateverTheLocale)
{
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // a comma locale where installed; the writer must not care
    const std::pair<double, const char*> cases[] = {
        {0, "0"},
        {-0.0, "0"},
        {1, "1"},
        {0.5, "0.5"},
        {-2.25, "-2.25"},
        {55.7558, "55.7558"},
        {1e-6, "1E-6"},
        {1.5e20, "1.5E20"},
        {0.00001, "0.00001"},
        {0.000012345, "0.000012345"},
        {123456789012345, "123456789012345"},
        {1234567890123456, "1.23456789012346E15"},
        {0.1 + 0.2, "0.3"},
        {37.617299999999997, "37.6173"},
        {-1.25e-7, "-1.25E-7"},
        {1e15, "1E15"},
        {999999999999999.9, "1E15"},
        {std::numeric_limits<double>::infinity(), "Infinity"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(JsReal(value).toStdString(), text) << value;
    EXPECT_EQ(JsCoordinate(55.77777, 2), "55.77");
    EXPECT_EQ(JsCoordinate(-55.77777, 2), "-55.77");
    std::setlocale(LC_NUMERIC, "C");
}

TEST(MapValues, ColoursBooleansIntegersAndPointLists)
{
    EXPECT_EQ(JsColour(0), "'#000000'");
    EXPECT_EQ(JsColour(0x0000FF), "'#FF0000'");
    EXPECT_EQ(JsColour(0xFFFFFF), "'#FFFFFF'");
    EXPECT_EQ(JsColour(0x00FF00), "'#00FF00'");
    EXPECT_EQ(JsColour(15659247), "'#EFF0EE'");
    EXPECT_EQ(JsBool(true) + JsBool(false) + JsInt(-12), "truefalse-12");
    EXPECT_EQ(JsPointList({}), "''");
    EXPECT_EQ(JsPointList({{55.75, 37.61}, {-1e-7, 0}}), "'55.75|37.61;-1E-7|0'");
}

TEST(MapValues, TextsCannotLeaveTheirStringLiteral)
{
    EXPECT_EQ(JsText("Bob's"), "'Bob.#%#:s'");
    EXPECT_EQ(JsText("x');alert(1);//"), "'x.#%#:);alert(1);//'");
    EXPECT_EQ(JsText("a\\b\r\nc"), "'a\\\\b\\r\\nc'");
    EXPECT_EQ(JsText(QString("a") + QChar(0x2028) + QChar(0x2029) + "b"), "'a\\u2028\\u2029b'");
    EXPECT_EQ(JsText("</script><script>alert(1)</SCRIPT>"), "'<\\/script><script>alert(1)<\\/SCRIPT>'");
    EXPECT_EQ(JsText(QString("nul") + QChar(0) + QChar(0x1F)), "'nul\\x00\\x1f'");
    EXPECT_EQ(JsText("Москва"), "'Москва'");
    // A quoted value (an address) keeps its apostrophes, escaped for the literal.
    EXPECT_EQ(JsQuoted("it's"), "'it\\'s'");
    // Info window content loses its CR LF pairs, then is a text.
    EXPECT_EQ(JsContent("a\r\nb's\nc"), "'ab.#%#:s\\nc'");
}

TEST(MapValues, ReadingFieldNumbers)
{
    EXPECT_EQ(ReadReal(u"55.5"), 55.5);
    EXPECT_EQ(ReadReal(u"-1.5e-7"), -1.5e-7);
    EXPECT_EQ(ReadReal(u"+2"), 2);
    for (const char16_t* bad : {u"", u"55,5", u"1.2.3", u"12 ", u"abc", u"+-1", u"0x10", u"NaN", u"nan",
                                 u"nan(123)", u"Infinity", u"-Infinity", u"inf", u"INF", u"1e400"})
        EXPECT_FALSE(ReadReal(bad)) << QString::fromUtf16(bad).toStdString();
    EXPECT_EQ(ReadInteger(u"12"), 12);
    EXPECT_EQ(ReadInteger(u"-3"), -3);
    for (const char16_t* bad : {u"", u"1.0", u"99999999999", u"1e3", u"--1"})
        EXPECT_FALSE(ReadInteger(bad)) << QString::fromUtf16(bad).toStdString();
}

TEST(MapMessages, ThreeLanguagesWithTheBaseTextAsFallback)
{
    EXPECT_EQ(LocalizeMessage(TLang::Russian, 0), "WebBrowser не определен");
    EXPECT_EQ(LocalizeMessage(TLang::Russian, 1), "Начальная страница не загружается");
    EXPECT_EQ(LocalizeMessage(TLang::Russian, 5), "Этот объект не JavaScript");
    EXPECT_EQ(LocalizeMessage(TLang::Russian, 15), "Поле \"%s\" не найден в таблице.");
    EXPECT_EQ(LocalizeMessage(TLang::English, 7), "JavaScript Id does not exist");
    EXPECT_EQ(LocalizeMessage(TLang::Espanol, 2), "El mapa todavía no ha sido creado");
    EXPECT_EQ(LocalizeMessage(TLang::German, 3), "No está activo");
    EXPECT_EQ(LocalizeMessage(TLang::English, 16), "");
}
