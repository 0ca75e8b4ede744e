// The program entry of qxseries, callable from a test: starts the Qt toolkit, loads and shows
// the main panel, and runs the event loop until the operator quits. Returns 0 when the loop has
// ended, -1 when the user interface cannot start (no display: a hint to use Xvfb or the
// offscreen platform goes to standard error) or the command line is wrong.
#pragma once

namespace qx::app {

int qxseriesMain(int argc, char **argv);

} // namespace qx::app
