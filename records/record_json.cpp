#include "record_json.h"

#include <cmath>
#include <limits>

namespace qx::records {
namespace {

Json number(double value) { return std::isnan(value) ? Json() : Json(value); }
Json optionalNumber(const std::optional<double> &value) { return value ? number(*value) : Json(); }

double numberFrom(const Json &json)
{
    return json.is_null() ? std::numeric_limits<double>::quiet_NaN() : json.get<double>();
}

std::optional<double> optionalFrom(const Json &json)
{
    return json.is_null() ? std::nullopt : std::optional<double>(json.get<double>());
}

Json stepJson(const StepRun &s)
{
    Json readings = Json::array();
    for (const Reading &r : s.readings)
        readings.push_back({{"kind", r.kind}, {"phase", r.phase}, {"value", number(r.value)}, {"unit", r.unit}});
    Json limits = Json::array();
    for (const Limit &l : s.limits)
        limits.push_back({{"kind", l.kind}, {"low", number(l.low)}, {"high", number(l.high)}, {"unit", l.unit}});
    return {{"step", s.step},
            {"run", s.run},
            {"kind", s.kind},
            {"action", s.action},
            {"sent", s.sent},
            {"started", s.started},
            {"ended", s.ended},
            {"elapsed", number(s.elapsed)},
            {"verdict", s.verdict},
            {"detail", s.detail},
            {"drop_angle", optionalNumber(s.dropAngle)},
            {"drop_time", optionalNumber(s.dropTime)},
            {"readings", readings},
            {"limits", limits}};
}

StepRun stepFrom(const Json &j)
{
    StepRun s;
    s.step = j.at("step").get<int>();
    s.run = j.at("run").get<int>();
    s.kind = j.at("kind").get<std::string>();
    s.action = j.at("action").get<std::string>();
    s.sent = j.at("sent").get<std::string>();
    s.started = j.at("started").get<std::string>();
    s.ended = j.at("ended").get<std::string>();
    s.elapsed = numberFrom(j.at("elapsed"));
    s.verdict = j.at("verdict").get<std::string>();
    s.detail = j.at("detail").get<std::string>();
    s.dropAngle = optionalFrom(j.at("drop_angle"));
    s.dropTime = optionalFrom(j.at("drop_time"));
    for (const Json &r : j.at("readings"))
        s.readings.push_back({r.at("kind").get<std::string>(), r.at("phase").get<int>(), numberFrom(r.at("value")),
                              r.at("unit").get<std::string>()});
    for (const Json &l : j.at("limits"))
        s.limits.push_back({l.at("kind").get<std::string>(), numberFrom(l.at("low")), numberFrom(l.at("high")),
                            l.at("unit").get<std::string>()});
    return s;
}

} // namespace

Json toJson(const TestRecord &r)
{
    Json steps = Json::array();
    for (const StepRun &s : r.steps)
        steps.push_back(stepJson(s));
    return {{"id", r.id},
            {"uuid", r.uuid},
            {"instrument",
             {{"model", r.instrument.model},
              {"serial", r.instrument.serial},
              {"firmware", r.instrument.firmware},
              {"resource", r.instrument.resource}}},
            {"software", r.software},
            {"software_version", r.softwareVersion},
            {"host", r.host},
            {"operator", r.operatorName},
            {"eut", {{"name", r.eut.name}, {"serial", r.eut.serial}}},
            {"sequence", {{"name", r.sequenceName}, {"file", r.sequenceFile}, {"sha256", r.sequenceSha256}}},
            {"started", r.started},
            {"ended", r.ended},
            {"verdict", r.verdict},
            {"ending", r.ending},
            {"ended_by", r.endedBy},
            {"failed_step", r.failedStep},
            {"message", r.message},
            {"runs", r.runs},
            {"passed", r.passed},
            {"failed", r.failed},
            {"steps", steps}};
}

Json toJson(const RecordSummary &s)
{
    return {{"id", s.id},       {"uuid", s.uuid},         {"time", s.started},   {"sequence", s.sequenceName},
            {"model", s.model}, {"serial", s.serial},     {"operator", s.operatorName},
            {"eut", s.eut},     {"verdict", s.verdict}};
}

std::optional<TestRecord> recordFromJson(const Json &j, std::string &error)
{
    try {
        TestRecord r;
        r.id = j.at("id").get<std::int64_t>();
        r.uuid = j.at("uuid").get<std::string>();
        const Json &instrument = j.at("instrument");
        r.instrument = {instrument.at("model").get<std::string>(), instrument.at("serial").get<std::string>(),
                        instrument.at("firmware").get<std::string>(), instrument.at("resource").get<std::string>()};
        r.software = j.at("software").get<std::string>();
        r.softwareVersion = j.at("software_version").get<std::string>();
        r.host = j.at("host").get<std::string>();
        r.operatorName = j.at("operator").get<std::string>();
        r.eut = {j.at("eut").at("name").get<std::string>(), j.at("eut").at("serial").get<std::string>()};
        const Json &sequence = j.at("sequence");
        r.sequenceName = sequence.at("name").get<std::string>();
        r.sequenceFile = sequence.at("file").get<std::string>();
        r.sequenceSha256 = sequence.at("sha256").get<std::string>();
        r.started = j.at("started").get<std::string>();
        r.ended = j.at("ended").get<std::string>();
        r.verdict = j.at("verdict").get<std::string>();
        r.ending = j.at("ending").get<std::string>();
        r.endedBy = j.at("ended_by").get<std::string>();
        r.failedStep = j.at("failed_step").get<int>();
        r.message = j.at("message").get<std::string>();
        r.runs = j.at("runs").get<int>();
        r.passed = j.at("passed").get<int>();
        r.failed = j.at("failed").get<int>();
        for (const Json &step : j.at("steps"))
            r.steps.push_back(stepFrom(step));
        return r;
    } catch (const Json::exception &e) {
        error = std::string("not a test record: ") + e.what();
        return std::nullopt;
    }
}

} // namespace qx::records
