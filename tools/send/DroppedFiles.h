#pragma once

#include "SendCommand.h"

// Files and folders dropped on kestrix-send.exe: each file given is sent,
// and of each folder, at any depth, every file whose name makes it a car's
// descriptor. Says per file what happened, and ends with a count.
// Returns 0 when every file was sent and taken, else 1.
int sendDropped(const SendCommand& command);
