#include "pages.h"

#include "markup.h"

namespace qx::gate::web {
namespace {

std::string e(const std::string &text) { return escapeMarkup(text); }

std::string orNone(const std::string &text) { return text.empty() ? "—" : e(text); }

// The header says whether this browser is logged in; "log in" only where it is not.
std::string head(const std::string &title, bool loggedIn, const std::string &bodyData = {})
{
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
           "<title>" +
           e(title) +
           "</title><link rel=\"stylesheet\" href=\"/static/web.css\">"
           "<script src=\"/static/web.js\" defer></script></head><body" +
           bodyData +
           ">\n"
           "<header><a href=\"/\">qxgate</a><nav><a href=\"/lxi/identification\">identification</a>" +
           std::string(loggedIn ? "<span>logged in</span>" : "<a href=\"/login\">log in</a>") + "</nav></header><main>\n";
}

const std::string kFoot = "</main></body></html>\n";

std::string row(const char *label, const std::string &valueHtml)
{
    return std::string("<tr><th>") + label + "</th><td>" + valueHtml + "</td></tr>\n";
}

std::string visaRows(const InstrumentFacts &i)
{
    std::string rows;
    for (const std::string &s : i.visaStrings)
        rows += row("VISA resource", "<code>" + e(s) + "</code> <button type=\"button\" class=\"copy\" data-copy=\"" +
                                         e(s) + "\">Copy</button>");
    return rows;
}

std::string noticeHtml(const PageFacts &f)
{
    return f.notice.empty() ? std::string() : "<p class=\"notice\" id=\"notice\">" + e(f.notice) + "</p>\n";
}

std::string hidden(const char *name, const std::string &value)
{
    return std::string("<input type=\"hidden\" name=\"") + name + "\" value=\"" + e(value) + "\">";
}

// One form that posts a control of the instrument; `fields` the inputs besides the hidden ones.
std::string controlForm(const PageFacts &f, const InstrumentFacts &i, const char *action, const std::string &label,
                        const std::string &fields, const std::string &button)
{
    return "<form method=\"post\" action=\"" + e(i.pageUrl) + "control\" class=\"control\">" + hidden("csrf", f.csrf) +
           hidden("action", action) + "<label>" + label + " " + fields + "</label><button type=\"submit\" id=\"do-" +
           action + (fields.empty() ? "-" + button : "") + "\">" + e(button) + "</button></form>\n";
}

std::string numberField(const char *action, const char *unit, const char *step)
{
    return std::string("<input type=\"number\" name=\"value\" id=\"value-") + action + "\" step=\"" + step +
           "\" required> " + unit;
}

std::string controls(const PageFacts &f, const InstrumentFacts &i)
{
    if (!f.loggedIn) {
        if (!f.passwordSet)
            return "<p>This page is read-only: the gateway has no password (qxgate set-password).</p>\n";
        if (!f.mayControl)
            return "<p>This page is read-only from this host.</p>\n";
        return "<p><a href=\"/login?next=" + e(i.pageUrl) +
               "\" id=\"login-link\">Log in</a> to control the instrument.</p>\n";
    }
    std::string out = "<h2>Control</h2>\n<div class=\"controls\">\n";
    out += controlForm(f, i, "voltage", "Voltage", numberField("voltage", "V", "0.1"), "Set");
    out += controlForm(f, i, "frequency", "Frequency", numberField("frequency", "Hz", "0.01"), "Set");
    out += controlForm(f, i, "current", "Current limit", numberField("current", "A", "0.01"), "Set");
    out += controlForm(f, i, "range", "Range",
                       "<select name=\"value\" id=\"value-range\"><option value=\"low\">low</option>"
                       "<option value=\"high\">high</option></select>",
                       "Set");
    for (const char *state : {"on", "off"})
        out += "<form method=\"post\" action=\"" + e(i.pageUrl) + "control\" class=\"control\">" +
               hidden("csrf", f.csrf) + hidden("action", "output") + hidden("value", state) +
               "<button type=\"submit\" id=\"output-" + state + "\">Output " + state + "</button></form>\n";
    out += controlForm(f, i, "drop", "", "", "Drop");
    out += "</div>\n<form method=\"post\" action=\"/logout\">" + hidden("csrf", f.csrf) +
           "<button type=\"submit\" id=\"logout\">Log out</button></form>\n";
    return out;
}

struct StateRow {
    const char *id;
    const char *label;
    const char *unit;
};
constexpr StateRow kStateRows[] = {{"output", "Output", ""},
                                   {"voltage", "Voltage", "V"},
                                   {"frequency", "Frequency", "Hz"},
                                   {"current", "Current limit", "A"},
                                   {"range", "Range", "V"}};

std::string livePart(const InstrumentFacts &i)
{
    std::string out = "<h2>Settings</h2>\n<table class=\"state\"><tr><th></th><th>Value</th><th>Read at</th></tr>\n";
    for (const StateRow &r : kStateRows)
        out += std::string("<tr><th>") + r.label + "</th><td><span id=\"s-" + r.id + "\">…</span> " + r.unit +
               "</td><td class=\"time\" id=\"s-" + r.id + "-time\"></td></tr>\n";
    out += "</table>\n<p class=\"error\" id=\"s-error\"></p>\n<h2>Measured</h2>\n"
           "<table class=\"state\"><tr><th>Phase</th><th>Voltage (V)</th><th>Current (A)</th><th>Power (W)</th></tr>\n";
    const int phases = i.identity.model.find("7101") != std::string::npos ? 1 : 3;
    for (int phase = 0; phase <= phases; ++phase) {
        const std::string suffix = phase == 0 ? "" : "_p" + std::to_string(phase);
        out += "<tr><th>" + (phase == 0 ? std::string("All") : std::to_string(phase)) + "</th>";
        for (const char *kind : {"voltage", "current", "power"})
            out += std::string("<td id=\"m-") + kind + suffix + "\">…</td>";
        out += "</tr>\n";
    }
    out +=
        "</table>\n<p>Read at <span class=\"time\" id=\"m-time\"></span></p>\n<p class=\"error\" id=\"m-error\"></p>\n"
        "<p class=\"stream\">Live: <span id=\"stream\">connecting…</span></p>\n";
    return out;
}

std::string identityRows(const Identity &id)
{
    return row("Manufacturer", orNone(id.manufacturer)) + row("Model", orNone(id.model)) +
           row("Serial number", orNone(id.serialNumber)) + row("Firmware", orNone(id.firmware));
}

std::string hostRows(const PageFacts &f)
{
    return row("Description", orNone(f.description)) + row("Hostname", orNone(f.hostname)) +
           row("IP address", orNone(f.iface.address)) + row("MAC address", orNone(f.iface.mac));
}

} // namespace

std::string welcomePage(const PageFacts &f)
{
    std::string out = head("qxgate on " + f.hostname, f.loggedIn) + noticeHtml(f);
    out += "<h1>Instrument gateway " + e(f.hostname) + "</h1>\n<table class=\"facts\">\n" +
           row("Software", "qxgate " + e(f.version)) + hostRows(f) + "</table>\n";
    for (const InstrumentFacts &i : f.instruments) {
        out += "<section class=\"instrument\"><h2><a href=\"" + e(i.pageUrl) + "\">" + e(i.device) + "</a> " +
               e(i.identity.model) + "</h2>\n<table class=\"facts\">\n" + identityRows(i.identity) + hostRows(f) +
               visaRows(i) + "</table></section>\n";
    }
    return out + kFoot;
}

std::string devicePage(const PageFacts &f, const InstrumentFacts &i)
{
    const std::string data = i.live ? " data-events=\"" + e(i.pageUrl) + "events\"" : std::string();
    std::string out = head(i.device + " on " + f.hostname, f.loggedIn, data) + noticeHtml(f);
    out += "<h1>" + e(i.device) + " " + e(i.identity.model) + "</h1>\n<table class=\"facts\">\n" +
           identityRows(i.identity) + row("Answer to *IDN?", orNone(i.identity.answer)) + visaRows(i) + "</table>\n";
    if (i.live)
        out += livePart(i) + controls(f, i);
    return out + kFoot;
}

std::string loginPage(const PageFacts &f, const std::string &problem, const std::string &next)
{
    std::string out = head("Log in to qxgate on " + f.hostname, f.loggedIn) + noticeHtml(f) + "<h1>Log in</h1>\n";
    if (!problem.empty())
        out += "<p class=\"error\" id=\"problem\">" + e(problem) + "</p>\n";
    if (!f.passwordSet)
        return out + "<p>No password is set (qxgate set-password): the pages are read-only.</p>\n" + kFoot;
    if (!f.mayControl)
        return out + "<p>This host may look, not log in.</p>\n" + kFoot;
    if (f.loggedIn)
        out += "<p>You are logged in.</p>\n";
    return out + "<form method=\"post\" action=\"/login\">" + hidden("csrf", f.csrf) + hidden("next", next) +
           "<label>Password <input type=\"password\" name=\"password\" id=\"password\" "
           "autocomplete=\"current-password\" "
           "required autofocus></label> <button type=\"submit\" id=\"login\">Log in</button></form>\n" +
           kFoot;
}

std::string messagePage(const std::string &title, const std::string &text)
{
    return head(title, false) + "<h1>" + e(title) + "</h1>\n<p>" + e(text) + "</p>\n" + kFoot;
}

const std::string &styleSheet()
{
    static const std::string css = R"(body{font-family:system-ui,sans-serif;margin:0;color:#1d2430;background:#f6f7f9}
header{display:flex;justify-content:space-between;align-items:center;background:#1d3557;padding:.6em 1.2em}
header a{color:#fff;text-decoration:none;margin-left:1em;font-weight:600}
header span{color:#cfd8e3;margin-left:1em}
main{max-width:60em;margin:1em auto;padding:0 1.2em}
h1{font-size:1.5em}h2{font-size:1.15em;margin-top:1.4em}
table{border-collapse:collapse;background:#fff;margin:.4em 0}
th,td{text-align:left;padding:.3em .8em;border-bottom:1px solid #e2e5ea}
table.state td{font-variant-numeric:tabular-nums}
.time{color:#5a6472;font-size:.9em}
.error{color:#b00020}
.notice{background:#e7f1ff;border-left:4px solid #1d3557;padding:.5em .8em}
section.instrument{margin-top:1.5em}
.controls{display:flex;flex-wrap:wrap;gap:.6em 1.4em;margin:.5em 0 1em}
form.control{display:flex;gap:.4em;align-items:center}
input[type=number]{width:7em}
button{padding:.25em .8em}
code{background:#eef0f3;padding:.1em .3em}
)";
    return css;
}

const std::string &script()
{
    static const std::string js = R"(// Copy buttons, and the live page's state from its event stream.
"use strict";
function put(id, text) {
  const el = document.getElementById(id);
  if (el) el.textContent = text;
}
function clock(utc) { return utc && utc.length >= 23 ? utc.substring(11, 23) + " UTC" : ""; }
function show(state) {
  const s = state.settings || {};
  for (const [name, v] of Object.entries(s)) {
    if (name === "error") { put("s-error", v); continue; }
    put("s-" + name, v.value);
    put("s-" + name + "-time", clock(v.time));
  }
  const m = state.measurements || {};
  put("m-time", clock(m.time));
  put("m-error", m.error || "");
  for (const [column, value] of Object.entries(m.values || {})) put("m-" + column, value);
}
function copy(button) {
  const text = button.dataset.copy;
  const done = () => { button.textContent = "Copied"; setTimeout(() => { button.textContent = "Copy"; }, 1500); };
  if (navigator.clipboard && window.isSecureContext) {
    navigator.clipboard.writeText(text).then(done);
    return;
  }
  const area = document.createElement("textarea");
  area.value = text;
  document.body.appendChild(area);
  area.select();
  document.execCommand("copy");
  area.remove();
  done();
}
document.addEventListener("DOMContentLoaded", () => {
  for (const b of document.querySelectorAll("button.copy")) b.addEventListener("click", () => copy(b));
  const events = document.body.dataset.events;
  if (!events) return;
  const source = new EventSource(events);
  source.addEventListener("open", () => put("stream", "connected"));
  source.addEventListener("error", () => put("stream", "reconnecting…"));
  source.addEventListener("state", (e) => { show(JSON.parse(e.data)); put("stream", "connected"); });
});
)";
    return js;
}

} // namespace qx::gate::web
