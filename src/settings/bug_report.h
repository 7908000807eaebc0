// Reporting a bug: the form, the review screen and the queue of reports waiting to be sent.
#pragma once

// The whole flow; returns to the settings.
void bug_report_screen();
