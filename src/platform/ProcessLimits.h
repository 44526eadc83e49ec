// Limits of the process that a batch of thousands of downloads runs into.
#pragma once

// Raises the soft limit of open files to the hard limit, so that a large
// batch is bounded by what the system allows and not by the low default of
// a desktop session. Returns the soft limit in force afterwards.
long RaiseOpenFileLimit();
