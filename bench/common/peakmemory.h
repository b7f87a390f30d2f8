#ifndef PEAKMEMORY_H
#define PEAKMEMORY_H

// Peak resident memory of this process since it started, in MB; -1 where the system
// does not tell it (Linux tells it in /proc/self/status). Read from the process
// itself: the rusage of a spawned child also counts the parent's pages at the spawn.
double peakResidentMegabytes();

#endif // PEAKMEMORY_H
