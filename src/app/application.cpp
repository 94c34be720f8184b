#include "app/application.h"

#include "app/one_shot.h"
#include "core/file_io.h"
#include "core/viewer_state.h"
#include "metadata/exif.h"

namespace qp {

namespace {

AppOutcome Failure(const std::string& message) {
  AppOutcome out;
  out.exitCode = 1;
  out.err = "quillpix: " + message + "\n";
  return out;
}

// The report's lines end with "\r\n"; a terminal and a pipe want "\n".
std::string UnixLines(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

}  // namespace

AppOutcome RunCommandLine(const CommandLine& cl, AppPorts& ports) {
  ViewerState state;
  InstallMetadataReader(state);
  LoadContext ctx{state, &ports.settings, ports.systemDecoder};

  switch (cl.mode) {
    case CommandMode::Help: return AppOutcome{0, HelpText(), {}};
    case CommandMode::Version: return AppOutcome{0, "quillpix " QP_VERSION "\n", {}};
    case CommandMode::AutoRotate: {
      if (cl.firstFile.empty()) return Failure("-autorotate needs a file name");
      const AutoRotateResult r = AutoRotateJpegFile(cl.firstFile);
      if (r.error) return Failure(*r.error);
      return {};
    }
    case CommandMode::Landscape: {
      if (cl.firstFile.empty()) return Failure("-landscape needs a file name");
      const LandscapeResult r =
          MakeLandscapeFile(cl.firstFile, ports.settings.ReadFlag("AutoOrient"));
      if (r.error) return Failure(*r.error);
      return {};
    }
    case CommandMode::Properties: {
      if (cl.propertiesFile.empty()) return Failure("--properties needs a file name");
      if (!CanOpenForRead(cl.propertiesFile))
        return Failure("cannot open \"" + cl.propertiesFile + "\"");
      auto text = PropertiesText(cl.propertiesFile, ctx);
      if (!text) return Failure("cannot read a picture from \"" + cl.propertiesFile + "\"");
      return AppOutcome{0, UnixLines(*text), {}};
    }
    case CommandMode::Convert:
      if (!cl.secondFile.empty()) {
        if (auto error = RunConvert(cl, ctx, ports.settings)) return Failure(*error);
        return {};
      }
      break;  // without a target the file opens in the viewer
    case CommandMode::None: break;
  }

  // A normal start.
  if (!cl.firstFile.empty() && !FileTimestampValid(cl.firstFile)) {
    AppOutcome out = Failure("Invalid file timestamp: \"" + cl.firstFile + "\"");
    out.invalidTimestamp = true;
    return out;
  }
  AppOutcome out;
  out.openWindow = true;
  return out;
}

}  // namespace qp
