// A test record as JSON, and back: `qxctl records show --json`, the reports, and whoever reads a
// record from a script. Keys are the stores' column names, grouped as the record is:
//   {"id": 3, "uuid": "...", "instrument": {"model", "serial", "firmware", "resource"},
//    "software", "software_version", "host", "operator", "eut": {"name", "serial"},
//    "sequence": {"name", "file", "sha256"}, "started", "ended", "verdict", "ending", "ended_by",
//    "failed_step", "message", "runs", "passed", "failed",
//    "steps": [{"step", "run", "kind", "action", "sent", "started", "ended", "elapsed", "verdict",
//               "detail", "drop_angle", "drop_time" (null: none),
//               "readings": [{"kind", "phase", "value", "unit"}], "limits": [{"kind", "low", "high", "unit"}]}]}
// A reading that was not a number is null.
#pragma once

#include "record.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace qx::records {

using Json = nlohmann::ordered_json;

Json toJson(const TestRecord &record);
// The keys of `records list`: id, uuid, time, sequence, model, serial, operator, eut, verdict.
Json toJson(const RecordSummary &summary);

// None, with `error` naming the first key that is missing or of the wrong type.
std::optional<TestRecord> recordFromJson(const Json &json, std::string &error);

} // namespace qx::records
