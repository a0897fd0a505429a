// The per-tick call beside a busy window thread, for the bench command.
#pragma once

namespace tempotally {

// Measures and prints one line for the former engine lock and one for the shared engine.
void PrintTickContention();

}  // namespace tempotally
