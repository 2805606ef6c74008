#include "imagetool/Imagor.h"

#include <filesystem>
#include <functional>
#include <new>

#include "imagetool/CommandLine.h"
#include "imagetool/ImageRewrite.h"
#include "imagetool/Listings.h"
#include "imagetool/UPeFile.h"
#include "platform/Format.h"

namespace {

class TImagorRun {
public:
  TImagorRun(TConsole& console, TImagorOptions& options, std::string program)
      : console_(console), options_(options), program_(std::move(program)) {}

  int Run();

private:
  void reportOpenFailure(int error);
  bool rewrite();
  bool runStep(ExeImage& image, const char* failureMessage, const std::function<bool()>& step);
  void listings(const ExeImage& image);
  void guarded(const char* context, const std::function<void()>& listing);

  TConsole& console_;
  TImagorOptions& options_;
  std::string program_;
  bool openFailed_ = false;
  bool rewriteFailed_ = false;
  bool listingFailed_ = false;
};

void TImagorRun::reportOpenFailure(int error) {
  console_.Error(Format("Cannot open exe-file \"%s\" (Error %d)!", options_.imageName, error));
  std::string text = ImageErrorText(error);
  if (!text.empty()) console_.Error(text);
}

bool TImagorRun::runStep(ExeImage& image, const char* failureMessage, const std::function<bool()>& step) {
  bool ok = false;
  try {
    ok = step();
  } catch (const std::bad_alloc&) {
    console_.Error("Out of memory");
    image.error = kImageErrOutOfMemory;
  } catch (const Exception& e) {
    console_.Error(e.Message());
    if (!image.error) image.error = kImageErrUnsupported;
  }
  if (ok) return true;
  rewriteFailed_ = true;
  console_.Error(Format(failureMessage, image.error));
  std::string text = ImageErrorText(image.error);
  if (!text.empty()) console_.Error(text);
  return false;
}

// Answers false when the run was aborted half-way through a change.
bool TImagorRun::rewrite() {
  int error = 0;
  auto image = ExeImage::OpenImage(options_.imageName, imWrite, error);
  if (!image) {
    reportOpenFailure(error);
    openFailed_ = true;
    return false;
  }
  TRewriteOutput out{console_, options_.ini, options_.dumpRelocs};
  struct TStep {
    bool wanted;
    const char* failure;
    std::function<bool()> run;
  };
  ExeImage& im = *image;
  const TStep steps[] = {
      {options_.rebase && *options_.rebase != 0 && *options_.rebase != im.ImageBase(), "Re-base failed (error=%d)!",
       [&] { return Rebase(im, *options_.rebase, out); }},
      {options_.stripRelocations, "Strip-relocations failed (error=%d)!", [&] { return StripRelocations(im, out); }},
      {options_.stripResources, "Strip-resources failed (error=%d)!", [&] { return StripResources(im, out); }},
      {options_.loseWeight, "W8loss failed (error=%d)!", [&] { return LoseWeight(im, out); }},
  };
  bool aborted = false;
  for (const TStep& step : steps) {
    if (!step.wanted) continue;
    im.error = 0;
    if (!runStep(im, step.failure, step.run) && im.changing) {
      console_.Error(EAbort().Message());
      aborted = true;
      break;
    }
  }
  // The changes made so far reach the file even after an abort.
  int closeError = image->CloseImage();
  if (closeError) {
    console_.Error(Format("Cannot write exe-file \"%s\" (Error %d)!", options_.imageName, closeError));
    console_.Error(ImageErrorText(closeError));
    rewriteFailed_ = true;
  }
  return !aborted;
}

void TImagorRun::guarded(const char* context, const std::function<void()>& listing) {
  std::string message;
  try {
    listing();
    return;
  } catch (const std::bad_alloc&) {
    message = "Out of memory";
  } catch (const Exception& e) {
    message = e.Message();
  }
  listingFailed_ = true;
  console_.Line(options_.ini ? "[Exception]" : "Exception:");
  console_.Line(context);
  console_.Line(message);
  console_.Line("");
}

void TImagorRun::listings(const ExeImage& image) {
  // The localization export, the version information, the resources and the
  // string tables are written by the resource listings, which are not part of
  // this program yet; their options are accepted.
  if (options_.exportLocalization) return;
  TImageLister lister(image, options_, console_);
  if (options_.listHeader) guarded("Error while listing header:", [&] { lister.ListHeader(); });
  if (options_.listImports) guarded("Error while listing imports:", [&] { lister.ListImports(); });
  if (options_.listExports) guarded("Error while listing exports:", [&] { lister.ListExports(); });
}

int TImagorRun::Run() {
  // Without any listing or rewriting option the standard listing is written.
  if (!options_.AnyListing() && !options_.Rewriting())
    options_.listHeader = options_.listExports = options_.listImports = options_.listResources = true;
  int exitCode = kExitOk;
  bool listWanted = true;
  if (options_.Rewriting()) {
    listWanted = rewrite() && options_.AnyListing();
    if (openFailed_) exitCode = kExitCannotOpen;
    else if (rewriteFailed_) exitCode = kExitRewriteFailed;
  }
  if (listWanted) {
    int error = 0;
    auto image = ExeImage::OpenImage(options_.imageName, imRead, error);
    if (!image) {
      reportOpenFailure(error);
      exitCode = kExitCannotOpen;
    } else {
      listings(*image);
      if (listingFailed_ && exitCode == kExitOk) exitCode = kExitListingFailed;
    }
  }
  if (!options_.unknownParams.empty()) {
    WriteUsage(console_, program_);
    exitCode = kExitUnknownParam;
  }
  return exitCode;
}

}  // namespace

int RunImagor(const std::vector<std::string>& args, TOutputSink& out, TOutputSink& err) {
  TConsole console(out, err);
  std::string program = args.empty() ? "imagor" : std::filesystem::path(args[0]).filename().string();
  if (program.empty()) program = "imagor";
  TImagorOptions options;
  std::vector<std::string> params(args.size() > 1 ? args.begin() + 1 : args.end(), args.end());
  int exitCode;
  TParseResult parsed = ParseCommandLine(params, program, options, console);
  if (parsed.exitCode) {
    exitCode = *parsed.exitCode;
  } else {
    TImagorRun run(console, options, program);
    exitCode = run.Run();
  }
  if (!out.Flush()) {
    console.Error("Writing the standard output failed");
    if (exitCode == kExitOk) exitCode = kExitOutputFailed;
  }
  err.Flush();
  return exitCode;
}
