#pragma once

// SIGINT and SIGTERM during a run of checks: the handler only notes the
// signal, and the run stops taking new descriptors, lets the checks (and
// corrections) under way finish, and reports what it made. The same signal
// again ends the process at once, as it would have without this.
namespace RunInterruption {

void install();

// The signal that asked the run to stop; 0 while none has.
int signal();

} // namespace RunInterruption
