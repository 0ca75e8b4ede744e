// The web face's password: only its salted hash (libsodium's crypto_pwhash_str, Argon2id) is
// kept, in a file of mode 0600 whose folder, when made here, is 0700.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace qx::gate::web {

// `qxgate set-password`: reads the new password from `in` (twice with echo off when it is a
// terminal, prompting on `out`; once from a pipe), refuses a blank or overlong one, and writes its
// hash to `store`, replacing the old one whole. Returns the exit status; says why on `out`.
int setPassword(const std::string &store, std::FILE *in, std::FILE *out);

enum class PasswordCheck { Match, Mismatch, NoStore };

// Compares against the hash in `store`, read afresh; a missing, unreadable or malformed store is
// NoStore. Takes the time the hash asks for (about a tenth of a second), one check at a time.
PasswordCheck checkPassword(const std::string &store, std::string_view password);

// True when `store` holds a hash the checks can use; otherwise says why in `problem`.
bool storeUsable(const std::string &store, std::string &problem);

} // namespace qx::gate::web
