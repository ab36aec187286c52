// The record that every sample program appends when it starts, so tests can
// see how the installer started it.
//
// Place: the file named by the environment variable TN_SAMPLE_RECORD when it
// is set and not empty, else "%SystemDrive%\tn_sample_record.log" (C:\ in a
// default Wine prefix). Children inherit the environment, so a test that sets
// the variable before starting the installer also redirects the programs the
// installer starts.
//
// Format: one line per event, ANSI (GBK) text, CR LF at the end, fields
// separated by tabs, each field "name=value". Values escape '%' and every
// byte below 0x20 as %XX (two upper-case hex digits). Fixed fields first:
//   program       file name of the running executable
//   event         "start" or a program-specific event
//   pid           process id, decimal
//   command_line  GetCommandLineA() as the process received it
//   directory     current directory at start
//   show          STARTUPINFO.wShowWindow, decimal
//   flags         STARTUPINFO.dwFlags, hex with 0x (show counts only with
//                 STARTF_USESHOWWINDOW, 0x1)
// then the program's own fields in the order it gives them.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace sample {

using RecordFields = std::vector<std::pair<std::string, std::string>>;

// Path of the record file as described above.
std::string RecordFilePath();

// Appends one line for |event| with the fixed fields and |extra|. Retries for
// a moment while another program holds the file; false if it never could.
bool AppendLaunchRecord(const std::string& event, const RecordFields& extra = {});

// The line AppendLaunchRecord would write (without CR LF), for given values.
std::string FormatRecordLine(const RecordFields& fields);

// Splits one line (CR LF optional) back into its fields, unescaping values.
// A field without '=' gets an empty value.
RecordFields ParseRecordLine(const std::string& line);

// Value of the first field called |name|, or |fallback|.
std::string FindField(const RecordFields& fields, const std::string& name,
                      const std::string& fallback = std::string());

}  // namespace sample
