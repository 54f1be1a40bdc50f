// The one error reporter and its log: every failure but a branch that does
// not open ends here. It appends the raw message to "\ERRORES.TXT", beeps and
// shows the Spanish text in the modal error dialog.
#pragma once

#include <exception>
#include <string>

#include "dbaccess/clientdataset.h"
#include "dbaccess/textforms.h"
#include "dbaccess/values.h"
#include "dm/context.h"

// Logs, beeps and shows the dialog for a message. dataSet and sender say
// which text applies (ErrorText).
void ReportError(const TContext& context, const dbx::TComponent* Sender, const dbx::TClientDataSet* DataSet,
                 const std::exception& E);

// The text the error reporter shows for a message.
[[nodiscard]] std::string ErrorText(const dbx::TComponent* Sender, const dbx::TClientDataSet* DataSet,
                                    const std::string& message);
// The error log line of a message at the given moment.
[[nodiscard]] std::string ErrorLogLine(const dbx::DateTime& date, const dbx::DateTime& time,
                                       const std::string& message, const dbx::FormatSettings& fs);
// Appends the line of a message to the error log "\ERRORES.TXT"; failures are ignored.
void AppendErrorLog(const std::string& message, const dbx::FormatSettings& fs) noexcept;
