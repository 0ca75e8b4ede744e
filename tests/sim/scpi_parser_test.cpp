#include "sim/scpi_parser.h"
#include "sim_test_support.h"

namespace qx::sim::testing {

TEST(ScpiHeaders, ShortAndLongFormsInAnyCaseWithOptionalKeywords)
{
    SimHarness h;
    h.expectAnswers({{"VOLT 10", "10"}, {"VOLTAGE 20", "20"}, {"volt:lev 30", "30"},
                    {":SOUR:VOLT:LEV:IMM:AMPL 40", "40"}, {"sOuRcE:vOlTaGe:AMPLITUDE 50", "50"},
                    {"VOLT1 60", "60"}}, // numeric suffix 1 is the keyword itself
                   "VOLTage?");
    EXPECT_EQ(h.errors(), Codes{});
    // Neither the short nor the long form, a wrong suffix, too long, LIM:VOLT only as a query, ...
    EXPECT_EQ(h.errors({"VOLTag 1", "VOLTAGES 1", "VOLT2 1", "ABCDEFGHIJKLM 1", "LIM:VOLT 5", "*IDN", "*FOO?", "VOLT: 1",
                        "VOLT$ 1"}),
              (Codes{-113, -113, -114, -112, -113, -113, -113, -102, -111}));
    EXPECT_EQ(h.ask("VOLT?"), "60");
}

TEST(ScpiMessages, SemicolonsFollowThePathRuleErrorsStopCommandsOnlyAnyTerminatorEndsAMessage)
{
    SimHarness h;
    // PHAS is under OUTP:STAR, common commands keep the path, a ';' before the terminator is tolerated.
    h.expectAnswers({{"VOLT 12;FREQ 60", ""}, {"OUTP:STAR:STAT 1;PHAS 90", ""}, {"OUTP:STAR:STAT 0;*CLS;PHAS 180", ""},
                    {"INST:COUP 0;NSEL 2", ""}, {"VOLT 5;", ""},
                    {"VOLT?;FREQ?;:OUTP:STAR:PHAS?;STAT?;:INST:NSEL?", "5;60;180;0;2"}});
    EXPECT_EQ(h.errors(), Codes{});

    EXPECT_EQ(h.errors({"INST:NSEL 1;MEAS:VOLT?"}), Codes{-113}); // INST:MEAS:VOLT? does not exist
    EXPECT_EQ(h.ask("INST:NSEL 1;:MEAS:VOLT?"), "0");
    EXPECT_EQ(h.errors({"VOLT 6;;VOLT 7"}), Codes{-102});
    // A command error discards the rest of the message, an execution error does not.
    h.expectAnswers({{"VOLT?", "6"}, {"VOLT 5;BOGUS;VOLT 6", ""}, {"VOLT?", "5"}, {"VOLT 999;VOLT 7;VOLT?", "7"}});
    EXPECT_EQ(h.errors(), (Codes{-113, -222}));

    // Any terminator ends a message ("*IDN?" alone: ended by GPIB's END); empty ones are no error.
    const std::pair<const char *, std::string> cases[] = {
        {"*IDN?\r\n", kIdn}, {"*IDN?", kIdn}, {"\n", ""}, {"  \r\n", ""}, {"  *IDN?  ", kIdn}};
    for (const auto &[message, answer] : cases)
        EXPECT_EQ(h.sim.receive(message).bytes, answer) << message;
    EXPECT_EQ(h.errors(), Codes{});
}

TEST(ScpiParameters, NumbersTakeUnitsAndMinMaxBooleansAndCouplingTakeNamesStringsTakeQuotes)
{
    SimHarness h;
    h.expectAnswers({{"VOLT 1.5E2", "150"}, {"VOLT 120 V", "120"}, {"VOLT 120000MV", "120"}, {"VOLT +.5", "0.5"},
                    {"VOLT MAX", "300"}, {"VOLT MIN", "0"}, {"VOLT 2e+1v", "20"}}, "VOLT?");
    h.expectAnswers({{"FREQ 0.06KHZ;CURR 500MA", ""}, {"FREQ?;CURR?", "60;0.5"},
                    {"VOLT? MAX;FREQ? MIN;CURR? MAXIMUM", "300;16;4.6"}});
    EXPECT_EQ(h.errors(), Codes{});

    EXPECT_EQ(h.errors({"VOLT 10 A", "DISP:MODE 2V", "VOLT HIGH", "DISP:MODE MAX", "VOLT 'x'", "VOLT", "*RST 1",
                        "VOLT 1,2", "VOLT 1.2.3", "VOLT? 5", "VOLT -", "VOLT ,1"}),
              (Codes{-131, -138, -141, -104, -104, -109, -108, -108, -102, -104, -102, -102}));
    EXPECT_EQ(h.ask("VOLT?"), "20");

    // Booleans, coupling and integers.
    h.expectAnswers({{"OUTP ON", "1"}, {"OUTP OFF", "0"}, {"outp 1", "1"}, {"OUTP 0", "0"}, {"OUTP 0.7", "1"}}, "OUTP?");
    EXPECT_EQ(h.ask("INST:COUP NONE;COUP?;COUP ALL;COUP?;:DISP:MODE 2.4;MODE?"), "0;1;2");
    EXPECT_EQ(h.errors(), Codes{});
    EXPECT_EQ(h.errors({"OUTP MAYBE", "OUTP 'ON'", "INST:COUP SOME", "DISP:MODE 1e12"}), (Codes{-141, -104, -141, -222}));

    // Quoted strings.
    h.expectAnswers({{"SYST:SNUM 'A1'", ""}, {"*IDN?", "ZE,7103QX,A1,1.02"}, {"SYST:SNUM \"B2\"", ""},
                    {"SYST:SNUM?", "\"B2\""}});
    EXPECT_EQ(h.errors(), Codes{});
    // A ';' inside the quotes does not split the message.
    const std::string tooLong = "SYST:SNUM '" + std::string(33, 'S') + "'";
    EXPECT_EQ(h.errors({"SYST:SNUM 'has,comma'", "SYST:SNUM 'x;y'", "SYST:SNUM 'it''s'", "SYST:SNUM 'unterminated",
                        "SYST:SNUM X1", tooLong, "SYST:SNUM ''"}),
              (Codes{-224, -224, -224, -151, -104, -223, -224}));
    EXPECT_EQ(h.ask("*IDN?"), "ZE,7103QX,B2,1.02");
}

} // namespace qx::sim::testing
