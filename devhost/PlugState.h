// A plug-in's state call through an in-memory stream, as a host saves and restores a project.
#pragma once

#include <cstdint>
#include <vector>

#include "devhost/RawPlug.h"

namespace tempotally::testhost {

// The bytes the plug-in writes through its state call; empty when no stream could be made.
std::vector<uint8_t> SavePlugState(RawPlug& plug);
// Hands `bytes` to the plug-in's state call from the stream's start.
void RestorePlugState(RawPlug& plug, const std::vector<uint8_t>& bytes);

}  // namespace tempotally::testhost
