#include "Commands.h"

#include "siteweb/FeedbackExport.h"
#include "siteweb/Releases.h"
#include "siteweb/UtcTime.h"

namespace site {

namespace {

int Fail(std::FILE* err, const std::string& message, int status = 1) {
    std::fprintf(err, "quillmate-site: %s\n", message.c_str());
    return status;
}

void Print(std::FILE* out, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out);
}

int AddRelease(sitestore::Store& store, const SiteCommand& c, std::FILE* out, std::FILE* err) {
    sitestore::Release r{0, c.version, c.path, c.prompt, c.notes, siteweb::NowMs()};
    std::string error;
    if (!siteweb::CheckRelease(r, error))
        return Fail(err, error, 2);
    if (!store.AddRelease(r, error))
        return Fail(err, error);
    std::vector<sitestore::Release> all;
    const sitestore::Release* newest = nullptr;
    if (store.ListReleases(all, error))
        newest = siteweb::NewestRelease(all);
    Print(out, "published " + r.version + "\n");
    // Publishing an older version (to list it on the product page) offers nothing new.
    if (newest && newest->version != r.version)
        Print(out, "the version file still offers " + newest->version + ", the newest\n");
    return 0;
}

int ListReleases(sitestore::Store& store, std::FILE* out, std::FILE* err) {
    std::vector<sitestore::Release> all;
    std::string error;
    if (!store.ListReleases(all, error))
        return Fail(err, error);
    const sitestore::Release* newest = siteweb::NewestRelease(all);
    for (const auto& r : all) {
        const std::string firstNote = r.notes.substr(0, r.notes.find('\n'));
        Print(out, r.version + (&r == newest ? " (offered)" : "") + "\t" +
                       siteweb::FormatUtc(r.publishedMs) + "\t" + r.path + "\t" + r.prompt + "\t" +
                       firstNote + "\n");
    }
    return 0;
}

int ListFeedback(sitestore::Store& store, const SiteCommand& c, std::FILE* out, std::FILE* err) {
    sitestore::FeedbackQuery query;
    if (!c.since.empty() && !siteweb::ParseUtc(c.since, query.sinceMs))
        return Fail(
            err, "--since takes YYYY-MM-DD or YYYY-MM-DD HH:MM[:SS] (UTC), not \"" + c.since + "\"",
            2);
    std::vector<sitestore::Feedback> rows;
    std::string error;
    if (!store.ListFeedback(query, rows, error))
        return Fail(err, error);
    if (c.format == SiteCommand::Format::Json) {
        Print(out, siteweb::FeedbackJson(rows));
    } else if (c.format == SiteCommand::Format::Csv) {
        Print(out, siteweb::FeedbackCsv(rows));
    } else {
        for (const auto& f : rows) {
            std::string line = f.text.substr(0, f.text.find('\n'));
            if (line.size() > 60)
                line = line.substr(0, 60) + "...";
            Print(out, std::to_string(f.id) + "\t" + siteweb::FormatUtc(f.receivedMs) + "\t" +
                           f.address + "\t" + (f.answeredMs ? "answered" : "new") + "\t" +
                           f.contact + "\t" + line + "\n");
        }
    }
    return 0;
}

} // namespace

std::unique_ptr<sitestore::Store> OpenMigrated(const std::string& spec, std::string& error) {
    auto store = sitestore::OpenStore(spec, error);
    if (store && !store->Migrate(error))
        store.reset();
    return store;
}

int RunMakerCommand(const SiteCommand& c, std::FILE* out, std::FILE* err) {
    std::string error;
    const auto store = OpenMigrated(c.config.database, error);
    if (!store)
        return Fail(err, error);
    switch (c.action) {
    case SiteCommand::Action::ReleaseAdd:
        return AddRelease(*store, c, out, err);
    case SiteCommand::Action::ReleaseList:
        return ListReleases(*store, out, err);
    case SiteCommand::Action::FeedbackList:
        return ListFeedback(*store, c, out, err);
    case SiteCommand::Action::FeedbackShow: {
        sitestore::Feedback f;
        bool found = false;
        if (!store->GetFeedback(c.id, f, found, error))
            return Fail(err, error);
        if (!found)
            return Fail(err, "no message " + std::to_string(c.id));
        Print(out, c.format == SiteCommand::Format::Json ? siteweb::FeedbackJson(f)
                                                         : siteweb::FeedbackText(f));
        return 0;
    }
    case SiteCommand::Action::FeedbackDelete: {
        bool found = false;
        if (!store->DeleteFeedback(c.id, found, error))
            return Fail(err, error);
        if (!found)
            return Fail(err, "no message " + std::to_string(c.id));
        Print(out, "deleted message " + std::to_string(c.id) + "\n");
        return 0;
    }
    default:
        return Fail(err, "not a command of the maker", 2);
    }
}

} // namespace site
