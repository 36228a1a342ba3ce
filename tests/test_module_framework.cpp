// The shared conversion rules, the type table and the base operations that
// every module inherits.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>

#include "modules/Conversions.h"
#include "modules/Empty.h"
#include "engine/ModuleFactory.h"
#include "modules/ModuleTypes.h"
#include "operators/Gain.h"

using namespace vh;

TEST(Conversions, DiscreteChoiceRule) {
    EXPECT_EQ(discreteIndex(1.0f, 5), 4);
    EXPECT_EQ(discreteIndex(0.199f, 5), 0);
    EXPECT_EQ(discreteIndex(0.2f, 5), 1);
    EXPECT_FLOAT_EQ(discreteValue(2, 5), 0.5f);
    EXPECT_EQ(discreteIndex(-3.0f, 5), 0);
    EXPECT_EQ(discreteIndex(NAN, 5), 0);
    EXPECT_EQ(discreteIndex(7.0f, kNumTypeSteps), kNumTypeSteps - 1);
    for (int i = 0; i < 260; ++i) EXPECT_EQ(discreteIndex(discreteValue(i, 260), 260), i);
}

TEST(Conversions, ClampUnitAndSanitize) {
    EXPECT_FLOAT_EQ(clampUnit(-0.3f), 0.0f);
    EXPECT_FLOAT_EQ(clampUnit(1.7f), 1.0f);
    EXPECT_FLOAT_EQ(clampUnit(0.42f), 0.42f);
    EXPECT_FLOAT_EQ(clampUnit(NAN), 0.0f);
    EXPECT_FLOAT_EQ(sanitizeUnit(NAN), 0.0f);
    EXPECT_FLOAT_EQ(sanitizeUnit(INFINITY), 1.0f);
    EXPECT_FLOAT_EQ(sanitizeUnit(-INFINITY), 0.0f);
}

TEST(Conversions, SmoothingIncrementFlushesDenormals) {
    EXPECT_FLOAT_EQ(smoothingIncrement(1.0f, 0.0f, kRampFactor), 1.0f / 32.0f);
    EXPECT_EQ(smoothingIncrement(1e-30f, 0.0f, kRampFactor), 0.0f);
}

TEST(Conversions, OnePoleCoefficientsKeepTheirDigitsForSlowSmoothers) {
    // A 1 s time constant at 384 kHz: 1 - e^(-x) with x = 2.6e-6, where the
    // float form lost the time constant by most of a per cent.
    for (double rate : {8000.0, 44100.0, 384000.0})
        for (double seconds : {0.001, 0.05, 1.0, 10.0}) {
            double exact = -std::expm1(-1.0 / (seconds * rate));
            float c = timeConstantCoefficient(static_cast<float>(seconds), static_cast<float>(rate));
            EXPECT_NEAR(c / exact, 1.0, 2e-7) << seconds << " s at " << rate;
        }
    EXPECT_EQ(timeConstantCoefficient(0.0f, 44100.0f), 1.0f);
    EXPECT_EQ(timeConstantCoefficient(NAN, 44100.0f), 1.0f);
    EXPECT_EQ(onePoleCoefficient(0.0), 0.0f);
}

TEST(Conversions, LevelTexts) {
    char text[kTextSize];
    levelText(0.0f, text, 0);
    EXPECT_STREQ(text, "-oo");
    levelText(0.5f, text, 0);
    EXPECT_STREQ(text, "-6");
    levelText(0.5f, text, 1);
    EXPECT_STREQ(text, "-6.0");
    EXPECT_TRUE(isMinusInfinityText("-OO"));
    EXPECT_TRUE(isMinusInfinityText("-oo dB"));
    EXPECT_FALSE(isMinusInfinityText("-6"));
}

TEST(Conversions, TextsIgnoreTheProcessLocale) {
    // A host may run with a decimal comma; our texts and parsers must not care.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous ? previous : "C";
    bool switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    char text[kTextSize];
    VH_TEXT(text, "%.1f", 1.5);
    EXPECT_STREQ(text, "1.5");
    EXPECT_DOUBLE_EQ(readNumber(" 2.25kHz"), 2.25);
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!switched) GTEST_SKIP() << "no German locale installed; checked in the C locale only";
}

TEST(Conversions, ReadNumberFailsSoftly) {
    EXPECT_EQ(readNumber(nullptr), 0.0);
    EXPECT_EQ(readNumber("abc"), 0.0);
    EXPECT_EQ(readNumber("1e999"), 0.0);
    double value;
    const char* end;
    EXPECT_TRUE(parseNumber("-12.5 dB", value, &end));
    EXPECT_DOUBLE_EQ(value, -12.5);
    EXPECT_STREQ(end, " dB");
}

TEST(ModuleTypes, TableAndFallbacks) {
    for (int t = 0; t < kNumOperatorTypes; ++t) {
        ASSERT_NE(operatorMenuLine(t), nullptr);
        EXPECT_EQ(std::strlen(operatorMenuLine(t)), size_t(kMenuLineLength)) << t;
        auto op = createOperator(t, 0, nullptr);
        char name[kTextSize];
        op->getTypeName(name);
        // Types still without a class stand in as GAIN; the compressor's own
        // short name differs from its menu label.
        if (std::strcmp(name, "GAIN") != 0 && t != kOpCompExp) {
            EXPECT_STREQ(name, operatorTypeLabel(t));
        }
    }
    for (int t = 0; t < kNumModulatorTypes; ++t)
        EXPECT_EQ(std::strlen(modulatorMenuLine(t)), size_t(kMenuLineLength)) << t;
    char name[kTextSize];
    createOperator(25, 0, nullptr)->getTypeName(name);
    EXPECT_STREQ(name, "GAIN");
    createModulator(7, 0, nullptr)->getTypeName(name);
    EXPECT_STREQ(name, "EMPTY");
    EXPECT_EQ(operatorTypeLabel(19), nullptr);
}

TEST(ModuleBase, ModulationAddsClampsAndResets) {
    Gain gain(0, nullptr);
    gain.setParameter(0, 0.8f);
    gain.resetModulation();
    gain.addModulation(0, 0.5f, -0.9f);
    gain.addModulation(0, 0.5f, 0.0f);
    gain.clampModulation(0);
    EXPECT_FLOAT_EQ(gain.modulatedLeft(0), 1.0f);
    EXPECT_FLOAT_EQ(gain.modulatedRight(0), 0.0f);
    gain.resetModulation();
    EXPECT_FLOAT_EQ(gain.modulatedLeft(0), 0.8f);
    // Out-of-range indices are ignored rather than written past the arrays.
    gain.addModulation(16, 1.0f, 1.0f);
    gain.addModulation(-1, 1.0f, 1.0f);
    gain.clampModulation(99);
    gain.setParameter(40, 1.0f);
    EXPECT_EQ(gain.getParameter(40), 0.0f);
}

TEST(ModuleBase, EmptyModulatorIsSilentAndNamesNothing) {
    Empty empty(2, nullptr);
    float l = 1.0f, r = 1.0f;
    empty.processSample(&l, &r);
    EXPECT_EQ(l, 0.0f);
    EXPECT_EQ(r, 0.0f);
    char text[kTextSize];
    empty.getParameterName(5, text);
    EXPECT_STREQ(text, "---");
    empty.getParameterDisplay(5, text);
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(empty.isModulatable(0));
    EXPECT_EQ(empty.globalIndex(3), param::modParam(2, 3));
}
