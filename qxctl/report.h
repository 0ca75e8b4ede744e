// How qxctl prints what a command gave: plain values, one per line, or one JSON object.
#pragma once

#include "commands.h"

#include <iosfwd>
#include <string>

namespace qx::ctl {

// Plain: each value on its own line (numbers in their shortest exact form, texts as they are,
// each error of the queue as CODE,"MESSAGE"). JSON: {"command": NAME, "ok": true, CONTEXT...,
// VALUES...} on one line.
void printOutcome(std::ostream &out, const std::string &command, const Outcome &outcome, bool json);

// JSON only: {"command": NAME, "ok": false, "error": {"code": STATUS, "message": TEXT}}; no code for
// a refusal of qxctl's own (status 0).
void printFailure(std::ostream &out, const std::string &command, ViStatus status, const std::string &text);

} // namespace qx::ctl
