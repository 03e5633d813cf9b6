#include "errorcapture/ReportError.h"

#include <string>

#include "errorcapture/DumpVariable.h"
#include "errorcapture/frame.h"
#include "errorcapture/state.h"
#include "kwversion.h"
#include "outside/latebound.h"
#include "platform/messagebox.h"

namespace kw {

namespace {

constexpr char16_t kCrLf[] = u"\r\n";

Text decimal(std::int64_t n) {
    const std::string s = std::to_string(n);
    return Text(s.begin(), s.end());
}

}  // namespace

void CaptureErrorState(const RuntimeError& failure) {
    ErrorState& state = errorState();
    state.vbcsErrorNumber = failure.number();
    state.vbcsErrorDescription = failure.description();
    state.vbcsErrorLine = failure.line();
    state.vbcsErrorSource = failure.source();
}

Text DumpGlobalVariables() {
    const ErrorState& state = errorState();
    const Binding globals[] = {
        Binding(u"vbcsComponentID", state.vbcsComponentID),
        Binding(u"vbcsHasInitialised", state.vbcsHasInitialised),
        Binding(u"vbcsErrorNumber", state.vbcsErrorNumber),
        Binding(u"vbcsErrorDescription", state.vbcsErrorDescription),
        Binding(u"vbcsErrorLine", state.vbcsErrorLine),
        Binding(u"vbcsErrorSource", state.vbcsErrorSource),
    };
    Text out;
    for (const Binding& global : globals) out += DumpVariable(global.name(), *global.read(), 99, 4);
    return out;
}

Text reportText(const Text& LocalVariablesText, const Text& ModuleVariablesText, const Text& ParametersText) {
    const Text globals = DumpGlobalVariables();
    Text out;
    out.reserve(LocalVariablesText.size() + ModuleVariablesText.size() + ParametersText.size() + globals.size() + 256);
    // One element: its opening tag on a line of its own, its content (which
    // ends in CR LF when it holds dumps), its closing tag.
    auto element = [&out](TextView tag, TextView content) {
        out.append(u"<").append(tag).append(u">").append(kCrLf).append(content);
        out.append(u"</").append(tag).append(u">");
    };
    out.append(u"<Variables>").append(kCrLf);
    element(u"LocalVariables", LocalVariablesText);
    out += kCrLf;
    element(u"ModuleVariables", ModuleVariablesText);
    out += kCrLf;
    element(u"GlobalVariables", globals);
    out += kCrLf;
    out.append(u"</Variables>").append(kCrLf);
    element(u"Parameters", ParametersText);  // no line break after the last element
    return out;
}

Text versionText() {
    return decimal(KW_VERSION_MAJOR) + u"." + decimal(KW_VERSION_MINOR) + u"." + decimal(KW_VERSION_REVISION);
}

Text fallbackMessage(std::int32_t ErrorNumber, const Text& ModuleName, const Text& ProcedureName,
                     const Text& ErrorDescription, std::int32_t ErrorLine) {
    return Text(u"KWOLFunc has encountered a problem. We are sorry for the inconvenience.") + kCrLf + kCrLf +
           u"Module: " + ModuleName + kCrLf + u"Procedure: " + ProcedureName + kCrLf + u"Line Number: " +
           decimal(ErrorLine) + kCrLf + kCrLf + ErrorDescription + u" (" + decimal(ErrorNumber) + u")";
}

Text ReportError(const std::int32_t& ErrorNumber, const Text& ModuleName, const Text& ProcedureName,
                 const Text& ErrorDescription, const std::int32_t& ErrorLine, const Text& LocalVariablesText,
                 const Text& ModuleVariablesText, const Text& ParametersText) {
    ComPtr<IDispatch> reporter;
    ignoringFailure([&] { reporter = createObject<IDispatch>(Text(kErrorReporterProgId)); });
    if (!reporter) {
        // The box's message loop runs the host's own windows: a fault there
        // is not the component's.
        const OutsideComponent hostCode;
        platform::showMessageBox(fallbackMessage(ErrorNumber, ModuleName, ProcedureName, ErrorDescription, ErrorLine),
                                 kFallbackTitle, MB_OK | MB_ICONSTOP);
        return Text();
    }
    // The by-reference arguments point at copies: the component may write
    // them, the caller's variables stay as they are.
    std::int32_t number = ErrorNumber, line = ErrorLine;
    Bstr module(ModuleName), procedure(ProcedureName), description(ErrorDescription);
    BSTR moduleRef = module.get(), procedureRef = procedure.get(), descriptionRef = description.get();
    LateBound component(reporter);
    component.call(u"ErrorHandler",
                   {Variant::reference(&number), Variant::text(u"KWOLFunc"), Variant::reference(&moduleRef),
                    Variant::reference(&procedureRef), Variant::reference(&descriptionRef), Variant::reference(&line),
                    Variant::text(reportText(LocalVariablesText, ModuleVariablesText, ParametersText)),
                    Variant::text(versionText())});
    // A component that replaces a string passed by reference frees the old
    // one; the wrappers take over whatever the references now hold.
    auto adopt = [](Bstr& owner, BSTR current) {
        if (current == owner.get()) return;
        owner.detach();
        owner = Bstr::attach(current);
    };
    adopt(module, moduleRef);
    adopt(procedure, procedureRef);
    adopt(description, descriptionRef);
    return asText(*component.call(u"Action"));
}

}  // namespace kw
