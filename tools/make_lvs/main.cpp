// make_lvs: writes a style package from files.
//
//   make_lvs OUT.lvs --meta META.json --prv PREVIEW.jpg
//       the usual package: "meta" and "prv", deflated, encrypted with the
//       package password
//   make_lvs OUT.lvs [--password P | --package-password] [--store] [--zip64] NAME=FILE ...
//       any entries; the options apply to every NAME=FILE entry
#include "PackageBuilder.h"

#include "StylePackage.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: make_lvs OUT.lvs --meta META.json --prv PREVIEW.jpg [--zip64]\n"
               "       make_lvs OUT.lvs [--password P | --package-password] [--store] [--zip64] NAME=FILE ...\n");
  return 2;
}

bool AddFile(std::vector<lvs_maker::Entry>* entries, const std::string& name, const std::string& file,
             lvs_maker::Method method, const std::string& password) {
  lvs_maker::Entry entry{name, {}, method, password};
  if (!lvs_maker::ReadWholeFile(file, &entry.data)) {
    std::fprintf(stderr, "make_lvs: cannot read %s\n", file.c_str());
    return false;
  }
  entries->push_back(std::move(entry));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string out = argv[1];
  std::string password, meta, prv;
  lvs_maker::Method method = lvs_maker::Method::Deflate;
  lvs_maker::Options options;
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--password" && hasValue)
      password = argv[++i];
    else if (arg == "--package-password")
      password = kPackagePassword;
    else if (arg == "--store")
      method = lvs_maker::Method::Store;
    else if (arg == "--zip64")
      options.zip64 = true;
    else if (arg == "--meta" && hasValue)
      meta = argv[++i];
    else if (arg == "--prv" && hasValue)
      prv = argv[++i];
    else if (arg.find('=') != std::string::npos && arg.rfind("--", 0) != 0)
      files.emplace_back(arg.substr(0, arg.find('=')), arg.substr(arg.find('=') + 1));
    else
      return Usage();
  }

  std::vector<lvs_maker::Entry> entries;
  const std::string packagePassword = kPackagePassword;
  if (!meta.empty() && !AddFile(&entries, kMetaEntryName, meta, lvs_maker::Method::Deflate, packagePassword)) return 1;
  if (!prv.empty() && !AddFile(&entries, kPreviewEntryName, prv, lvs_maker::Method::Deflate, packagePassword)) return 1;
  for (const auto& [name, file] : files)
    if (!AddFile(&entries, name, file, method, password)) return 1;
  if (entries.empty()) return Usage();

  std::string error;
  if (!lvs_maker::WritePackage(out, entries, &error, options)) {
    std::fprintf(stderr, "make_lvs: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
