#include "visa/open_failure.h"

namespace qx::visa {
namespace {

thread_local std::string openFailure;

} // namespace

std::string lastOpenFailure() { return openFailure; }

void noteOpenFailure(std::string words) { openFailure = std::move(words); }

} // namespace qx::visa
