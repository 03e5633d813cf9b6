// Report dispatch (module modErrorCapture): the report text of one failing
// procedure, handed to the anti-spam client's error-report component, or a
// message box when that component cannot be created.
#pragma once

#include <cstdint>

#include "core/runtimeerror.h"

namespace kw {

struct ErrorState;

// Hands the report to a new "kestrelwoodErrHandler.Error" object and returns
// its Action text; shows the fallback message box and returns empty text when
// the component cannot be created. A failure after the component was created
// leaves as a RuntimeError.
Text ReportError(const std::int32_t& ErrorNumber, const Text& ModuleName, const Text& ProcedureName,
                 const Text& ErrorDescription, const std::int32_t& ErrorLine, const Text& LocalVariablesText,
                 const Text& ModuleVariablesText, const Text& ParametersText);

// The six error-capture variables of this thread, dumped in report order.
Text DumpGlobalVariables();

// Copies the failure into this thread's error-capture state.
void CaptureErrorState(const RuntimeError& failure);

// The report text: variables, then parameters, laid out for the component.
Text reportText(const Text& LocalVariablesText, const Text& ModuleVariablesText, const Text& ParametersText);

// The program's version as major.minor.revision ("1.0.117").
Text versionText();

// The text of the fallback message box.
Text fallbackMessage(std::int32_t ErrorNumber, const Text& ModuleName, const Text& ProcedureName,
                     const Text& ErrorDescription, std::int32_t ErrorLine);

inline constexpr char16_t kErrorReporterProgId[] = u"kestrelwoodErrHandler.Error";
inline constexpr char16_t kFallbackTitle[] = u"Application Error";

}  // namespace kw
