#pragma once
// What CUPS says of a job at one look, and what that means for the bill. The
// reading is kept apart from the IPP requests (bill_print_cups.cpp), so that
// every state the spooler can report is judged the same way, spooler or not.

#include "main_window/bill_print.h"

#include <QString>
#include <QStringList>

namespace bill {

struct JobState {
    int job = 0;                 // job-state (ipp_jstate_t)
    QStringList jobReasons;      // job-state-reasons, "none" left out
    QString jobMessage;          // job-printer-state-message
    int printer = 0;             // printer-state (ipp_pstate_t)
    QStringList printerReasons;  // printer-state-reasons, "none" left out
    QString printerMessage;      // printer-state-message
};

JobLook judgeJob(const JobState &seen);

}  // namespace bill
