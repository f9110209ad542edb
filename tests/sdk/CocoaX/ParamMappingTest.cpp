// Controls by name, without widgets: look-ups, binding, gathering values and setting them back
// pass by pass, and the value forms of plain controls.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "NSColorWell.h"
#include "NSControlParam.h"
#include "ParamMapping.h"
#include "TestSupport.h"

namespace {

// A control whose value is a number, as a slider's; its user property is what the forms read.
class NumberControl : public QObject
{
    Q_OBJECT
    Q_PROPERTY(double number READ number WRITE setNumber USER true)

public:
    double number() const { return mNumber; }
    void setNumber(double in_number) { mNumber = in_number; }

private:
    double mNumber = 0;
};

// Every setter a test table calls records the order it was called in.
std::vector<std::string> gSetOrder;
void RecordingSetter(QObject* control, const QVariant& value)
{
    gSetOrder.push_back(control->objectName().toStdString() + "=" + value.toString().toStdString());
    NSControlParam::setStringValue(control, value);
}

class ParamMappingTest : public testing::Test
{
protected:
    void SetUp() override
    {
        gSetOrder.clear();
        mFirst.setObjectName("first");
        mLate.setObjectName("late");
        mReadOnly.setObjectName("readonly");
        mWriteOnly.setObjectName("writeonly");
        mMapping.SetItems(mItems);
    }

    NumberControl mFirst, mLate, mReadOnly, mWriteOnly;
    NSColorWell mWell;
    tagParamMapItem mItems[6] = {
        {kParamReadWrite, 3, "late.value", nullptr, NSControlParam::floatParam, RecordingSetter,
         nullptr},
        {kParamReadWrite, 0, "first.value", nullptr, NSControlParam::intParam, RecordingSetter,
         nullptr},
        {kParamReadOnly, 0, "read.only", nullptr, NSControlParam::intParam, RecordingSetter,
         nullptr},
        {kParamWriteOnly, 1, "write.only", nullptr, NSControlParam::writeOnlyParam, RecordingSetter,
         nullptr},
        {kParamReadWrite, 2, "well.color", nullptr, NSColorWell::color3DParam,
         NSColorWell::setColor3DParam, nullptr},
        {0, 0, nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    ParamMapping mMapping;

    void BindAll()
    {
        ASSERT_TRUE(mMapping.SetParamControl("late.value", &mLate));
        ASSERT_TRUE(mMapping.SetParamControl("FIRST.value", &mFirst));
        ASSERT_TRUE(mMapping.SetParamControl("read.only", &mReadOnly));
        ASSERT_TRUE(mMapping.SetParamControl("write.only", &mWriteOnly));
        ASSERT_TRUE(mMapping.SetParamControl("well.color", &mWell));
    }
};

TEST_F(ParamMappingTest, LooksUpByNameIndexAndControl)
{
    EXPECT_EQ(mMapping.Count(), 5);
    EXPECT_STREQ(mMapping.ParamFromIndex(1).paramName, "first.value");
    EXPECT_EQ(mMapping.ParamFromIndex(-4).paramName, mItems[0].paramName); // held to 0
    EXPECT_EQ(&mMapping.ParamFromIndex(99), &mItems[5]);                   // the terminator
    EXPECT_EQ(&mMapping.ConstParamFromName("Well.COLOR"), &mItems[4]);
    EXPECT_TRUE(ParamMapping::IsBadParam(mMapping.ConstParamFromName("no.such")));

    BindAll();
    EXPECT_EQ(mMapping.FindParamName(&mLate), "late.value");
    EXPECT_EQ(mMapping.FindParamControl("first.value"), &mFirst);
    EXPECT_EQ(&mMapping.ConstParamFromControl(&mWell), &mItems[4]);

    // The sample table of the program: three entries, found without regard to case.
    ParamMapping& sample = ParamMapping::SampleMapping();
    EXPECT_EQ(sample.Count(), 3);
    EXPECT_STREQ(sample.ConstParamFromName("PARAM.ONE").paramName, "param.one");
    EXPECT_STREQ(sample.ConstParamFromName("param.three").paramMapperClass, "StringParamMapper");
}

TEST_F(ParamMappingTest, FailedLookUpsAndBindingsAreReportedAndChangeNothing)
{
    p3dtest::LogCapture log;
    NumberControl stray;
    EXPECT_FALSE(mMapping.SetParamControl("no.such", &stray));
    EXPECT_FALSE(mMapping.SetParamControl("late.value", nullptr));
    EXPECT_TRUE(ParamMapping::IsBadParam(mMapping.ConstParamFromName(QString())));
    EXPECT_TRUE(ParamMapping::IsBadParam(mMapping.ConstParamFromControl(nullptr)));
    EXPECT_TRUE(mMapping.FindParamName(&stray).isNull());
    EXPECT_FALSE(mMapping.GetParamValue("late.value").isValid()); // not bound yet
    // The not-found entry is shared: it must never be bound.
    EXPECT_EQ(ParamMapping::sBadParamItem.paramControl, nullptr);
    EXPECT_EQ(ParamMapping::sBadParamItem.paramAccess, kParamReadWrite);
    EXPECT_EQ(ParamMapping::sBadParamItem.paramPass, 2);

    // A mapping without a table answers the not-found entry, never a terminator it lacks.
    ParamMapping empty;
    EXPECT_EQ(empty.Count(), 0);
    EXPECT_TRUE(ParamMapping::IsBadParam(empty.ParamFromIndex(0)));

    const std::string text = log.text();
    for (const char* expected :
         {" code : &item != &sBadParamItem in ", " code : inParamControl in ",
          " code : inParamName in ", " code : mapItem.paramControl in "})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

TEST_F(ParamMappingTest, DictionaryGathersReadableValuesAndSetsPassByPass)
{
    BindAll();
    mFirst.setNumber(7.9);
    mLate.setNumber(0.5);
    mReadOnly.setNumber(3);
    mWell.setColor3DOpaque({0.25f, 0.5f, 0.75f});

    QVariantMap all;
    mMapping.AddParamsToDictionary(&all);
    EXPECT_EQ(all.value("first.value"), QVariant(7));
    EXPECT_EQ(all.value("late.value").toFloat(), 0.5f);
    EXPECT_EQ(all.value("read.only"), QVariant(3));
    EXPECT_EQ(all.value("well.color").toString().toStdString(), "rgb(0.250,0.500,0.750)");
    EXPECT_FALSE(all.contains("write.only"));

    QVariantMap some;
    mMapping.AddParamsWithPrefixToDictionary(&some, "FIRST.");
    EXPECT_EQ(some.keys(), QStringList{"first.value"});
    mMapping.AddParamsWithPrefixToDictionary(&some, QString()); // nothing happens
    EXPECT_EQ(some.size(), 1);

    // Pass 0, then 1, then 3; read-only entries and keys without an entry are left out.
    const QVariantMap values = {{"late.value", "0.25"},
                                {"first.value", "2"},
                                {"read.only", "9"},
                                {"write.only", "4"},
                                {"no.entry", "1"}};
    mMapping.SetControlValuesFromDictionary(&values);
    EXPECT_EQ(gSetOrder, (std::vector<std::string>{"first=2", "writeonly=4", "late=0.25"}));
    EXPECT_EQ(mReadOnly.number(), 3); // read-only: never set
    EXPECT_EQ(mLate.number(), 0.25);

    p3dtest::LogCapture log;
    const QVariantMap none;
    mMapping.SetControlValuesFromDictionary(&none);
    mMapping.SetControlValuesFromDictionary(nullptr);
    EXPECT_NE(log.text().find(" code : [dictionary count]>0 in "), std::string::npos);
}

TEST_F(ParamMappingTest, PassZeroRunsBeforePassThreeWhateverTheKeyOrder)
{
    // Keys in the dictionary's order put the pass-3 entry first ("a…" < "z…").
    mItems[0].paramName = "a.late";
    mItems[1].paramName = "z.first";
    mMapping.SetItems(mItems);
    ASSERT_TRUE(mMapping.SetParamControl("a.late", &mLate));
    ASSERT_TRUE(mMapping.SetParamControl("z.first", &mFirst));
    const QVariantMap values = {{"a.late", "1"}, {"z.first", "2"}};
    mMapping.SetControlValuesFromDictionary(&values);
    EXPECT_EQ(gSetOrder, (std::vector<std::string>{"first=2", "late=1"}));
}

TEST_F(ParamMappingTest, ControlValueFormsReadAndWriteNumbersAndTexts)
{
    struct Case
    {
        const char* what;
        ParamSetter setter;
        QVariant given;
        double stored;
    };
    const double kNaN = std::nan("");
    const Case cases[] = {
        {"int of a number", NSControlParam::setIntParam, 12.9, 12},
        {"int of a text's leading number", NSControlParam::setIntParam, "12.5 cm", 12},
        {"int of a word", NSControlParam::setIntParam, "abc", 0},
        {"int of null", NSControlParam::setIntParam, QVariant(), 0},
        {"int of NaN", NSControlParam::setIntParam, kNaN, 0},
        {"int of 1e30 held to the int range", NSControlParam::setIntParam, 1e30, 2147483647},
        {"float of a text", NSControlParam::setFloatParam, "-0.25", -0.25},
        {"float of nan text", NSControlParam::setFloatParam, "nan", 0},
        {"float of 1e300 held to float", NSControlParam::setFloatParam, 1e300,
         3.4028234663852886e38},
        {"bool of TRUE", NSControlParam::setBoolParam, "TRUE", 1},
        {"bool of a number", NSControlParam::setBoolParam, 1, 0},
        {"bool of null", NSControlParam::setBoolParam, QVariant(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NumberControl control;
        control.setNumber(-7);
        c.setter(&control, c.given);
        EXPECT_EQ(control.number(), c.stored);
    }

    NumberControl control;
    control.setNumber(256); // low 8 bits clear
    EXPECT_EQ(NSControlParam::boolParam(&control), QVariant("false"));
    control.setNumber(257);
    EXPECT_EQ(NSControlParam::boolParam(&control), QVariant("true"));
    EXPECT_EQ(NSControlParam::intParam(&control), QVariant(257));
    EXPECT_EQ(NSControlParam::writeOnlyParam(&control), QVariant(""));
    NSControlParam::setReadOnlyParam(&control, 5);
    EXPECT_EQ(control.number(), 257);
}

} // namespace

#include "ParamMappingTest.moc"
