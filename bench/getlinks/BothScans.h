// The scan and the deep scan on the same pages, in MB/s.
#pragma once

#include <string>
#include <vector>

// The fastest and the middle of a benchmark's runs, and the calling
// thread's own clock (which a loaded machine does not stretch), in seconds.
double Best(const std::vector<double>& seconds);
double Median(std::vector<double> seconds);
double ThreadSeconds();

// Times both scans on the generated page and on a typical 2 MB news page
// (markup, inline scripts and data, style, text and images as a CMS writes
// them), rounds times each, and prints the MB/s of the best and the median
// run, on the wall clock and on the thread's own clock, against the targets
// (judged by the thread's median): the scan at least 1,000 MB/s, the deep
// scan at least 20 MB/s.
void TimeBothScans(const std::string& url, const std::string& generatedPage, int rounds);
