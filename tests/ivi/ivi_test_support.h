// Counting callbacks and a fixture that opens engine sessions and disposes of them.
#pragma once

#include "ivi/ivi.h"
#include "visa/visadef.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace ivitest {

constexpr ViAttr attrInt = IVI_SPECIFIC_PUBLIC_ATTR_BASE + 1;
constexpr ViAttr attrReal = IVI_SPECIFIC_PUBLIC_ATTR_BASE + 100;
constexpr ViAttr attrText = IVI_SPECIFIC_PUBLIC_ATTR_BASE + 200;

// What the callbacks saw, and what they answer.
struct Calls {
    int reads = 0, writes = 0, checks = 0, statusChecks = 0;
    std::vector<std::string> channels; // of each read and write, in order
    std::vector<double> written;
    std::string cacheSeen, writtenText;
    double answer = 0;                // what a numeric read callback reads
    const char *textAnswer = nullptr; // null: the string read callback hands nothing over
    ViStatus readStatus = VI_SUCCESS, writeStatus = VI_SUCCESS, checkStatus = VI_SUCCESS;
    ViStatus statusCheckStatus = VI_SUCCESS, handOverStatus = VI_SUCCESS;
};
inline Calls calls;

template <class T>
ViStatus readNumber(ViSession, ViSession, ViConstString channel, ViAttr, T *value)
{
    ++calls.reads;
    calls.channels.emplace_back(channel);
    if (calls.readStatus >= 0)
        *value = static_cast<T>(calls.answer);
    return calls.readStatus;
}

template <class T>
ViStatus writeNumber(ViSession, ViSession, ViConstString channel, ViAttr, T value)
{
    ++calls.writes;
    calls.channels.emplace_back(channel);
    calls.written.push_back(static_cast<double>(value));
    return calls.writeStatus;
}

template <class T>
ViStatus checkNumber(ViSession, ViConstString, ViAttr, T)
{
    ++calls.checks;
    return calls.checkStatus;
}

inline ViStatus readText(ViSession vi, ViSession, ViConstString, ViAttr id, const ViConstString cacheValue)
{
    ++calls.reads;
    calls.cacheSeen = cacheValue;
    if (calls.textAnswer != nullptr)
        calls.handOverStatus = Ivi_SetValInStringCallback(vi, id, calls.textAnswer);
    return calls.readStatus;
}

inline ViStatus writeText(ViSession, ViSession, ViConstString, ViAttr, ViConstString value)
{
    ++calls.writes;
    calls.writtenText = value;
    return calls.writeStatus;
}

inline ViStatus checkStatus(ViSession, ViSession)
{
    ++calls.statusChecks;
    return calls.statusCheckStatus;
}

// An attribute's value through one of the engine's typed getters. The filler shows up if a getter
// claims success but writes nothing.
template <class T>
T valueOf(ViStatus (*getter)(ViSession, ViConstString, ViAttr, ViInt32, T *), ViSession vi, ViAttr id,
          ViConstString channel = "")
{
    T value;
    std::memset(static_cast<void *>(&value), 0x5A, sizeof value);
    EXPECT_EQ(getter(vi, channel, id, 0, &value), VI_SUCCESS) << id;
    return value;
}

// Adds a ViInt32 or ViReal64 attribute with the counting read and write callbacks.
inline ViStatus addInt(ViSession vi, ViAttr id, IviAttrFlags flags = 0, IviRangeTablePtr table = nullptr)
{
    return Ivi_AddAttributeViInt32(vi, id, "INT", 0, flags, readNumber<ViInt32>, writeNumber<ViInt32>, table);
}
inline ViStatus addReal(ViSession vi, ViAttr id, ViReal64 initial, IviAttrFlags flags = 0,
                        IviRangeTablePtr table = nullptr, ViInt32 precision = 0)
{
    return Ivi_AddAttributeViReal64(vi, id, "REAL", initial, flags, readNumber<ViReal64>, writeNumber<ViReal64>,
                                    table, precision);
}

class IviTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        calls = Calls{};
        Ivi_ClearErrorInfo(VI_NULL);
    }
    void TearDown() override
    {
        for (ViSession vi : opened_)
            Ivi_Dispose(vi);
    }
    ViSession open(const char *options)
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(Ivi_SpecificDriverNew("QXTEST", options, &vi), VI_SUCCESS) << options;
        opened_.push_back(vi);
        return vi;
    }
    // A session with a ViInt32 attribute (default 0) that has counting read and write callbacks.
    ViSession withInt(const char *options, IviAttrFlags flags = 0, IviRangeTablePtr table = nullptr)
    {
        const ViSession vi = open(options);
        EXPECT_EQ(addInt(vi, attrInt, flags, table), VI_SUCCESS);
        return vi;
    }
    ViInt32 getInt(ViSession vi, ViConstString ch = "") { return valueOf(Ivi_GetAttributeViInt32, vi, attrInt, ch); }

private:
    std::vector<ViSession> opened_;
};

} // namespace ivitest
