#include "core/Performance.h"

#include "core/StoredValue.h"
#include "core/ThreadWake.h"
#include "core/TrackSound.h"
#include "files/CollectSet.h"
#include "files/SampleSearch.h"
#include "platform/CursorService.h"
#include "platform/FileDialogService.h"
#include "platform/MessageBoxService.h"
#include "platform/RegularFile.h"
#include "platform/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace mt {
namespace {

// The file dialogs' filter for setting files, in the old "description|patterns|" form.
QString SettingFilter() {
    return QCoreApplication::translate("mt::Performance", "セッティングファイル (*.mrw)|*.mrw|");
}

StoredTrack Stored(const TrackSetting& s) {
    return {s.speed, s.volume, s.pan, s.fileName, s.path, s.loop != 0, s.hold != 0, s.ratio};
}

} // namespace

// A collect under way. The worker reads `setPath`, `sources` and `cancel`, and writes the
// progress, then `targets` and `error` before `finished`; `wake` tells the UI thread, which reads
// them once it has joined the worker. The rest is the UI thread's.
struct Performance::CollectJob {
    QString setPath;
    std::vector<QString> sources; // each track's path when the collect began
    std::atomic<bool> cancel{false};
    std::atomic<qint64> copied{0}, total{0};
    std::atomic<bool> finished{false};
    std::vector<QString> targets;
    QString error;
    ThreadWake wake;
    std::function<void(const QString&)> done;
    bool replaced = false; // another set was opened, or a new bank made, meanwhile
    QMetaObject::Connection watch;
};

Performance::Performance(TrackSound& sound, const ReferenceBar& midiBar, TapClock& tapClock,
                         Ports ports)
    : m_ports(ports), m_bank(sound), m_clock(sound), m_midiBar(midiBar),
      m_loader(m_bank, sound, [this](const QString& text) { tell(text); }),
      m_tempo(m_bank, m_cdBar, midiBar, m_clock, [this](const QString& text) { tell(text); }),
      m_tapSession(tapClock, m_cdBar), m_editor(m_bank, m_loader, ports.processes, ports.cursor,
                                                [this](const QString& text) { tell(text); }) {
    m_bank.useClock(&m_clock);
    connect(&m_cdBar, &CdBar::moved, &m_tempo, [this] {
        m_tempo.referenceBarChanged(TempoReference::Cd);
        m_clock.offer(TempoSource::ReferenceBar, 240.0 / followedBar().barSeconds());
    });
    connect(&m_tapSession, &TapSession::handedOver, &m_clock,
            [this](double bpm) { m_clock.offer(TempoSource::Tap, bpm); });
    connect(&m_clock, &BeatClock::changed, this, [this] {
        m_bank.regrid();
        m_tempo.referenceBarChanged(TempoReference::Clock);
    });
    connect(&m_tempo, &TempoControl::stateChanged, &m_clock, [this] {
        m_clock.offer(TempoSource::ReferenceBar, 240.0 / followedBar().barSeconds());
    });
    connect(&m_bank, &TrackBank::valuesEdited, this, [this] {
        if (m_applying) {
            return; // an open's own values, marked saved once they are all in
        }
        tellChanged();
        emit edited();
    });
    connect(&m_bank, &TrackBank::trackChanged, this, [this](int index) {
        // A track given another file, or none, is no longer the one that went missing.
        const auto missing = std::find(m_missing.begin(), m_missing.end(), index);
        if (missing != m_missing.end() && m_bank.track(index).path != m_missingPaths[index]) {
            m_missing.erase(missing);
            emit missingChanged();
        }
    });
}

Performance::~Performance() {
    if (m_collectThread.joinable()) {
        m_collect->cancel = true;
        m_collectThread.join();
    }
}

void Performance::tellChanged() {
    if (m_bank.changed() != m_toldChanged) {
        m_toldChanged = m_bank.changed();
        emit changedFlag(m_toldChanged);
    }
}

void Performance::markSaved() {
    m_bank.markSaved();
    tellChanged();
}

void Performance::midiBarMoved() {
    m_tempo.referenceBarChanged(TempoReference::Midi);
    m_clock.offer(TempoSource::ReferenceBar, 240.0 / followedBar().barSeconds());
}

void Performance::chooseTempoSource(TempoSource source) {
    m_clock.setSource(source);
    m_clock.offer(TempoSource::ReferenceBar, 240.0 / followedBar().barSeconds());
}

const ReferenceBar& Performance::followedBar() const {
    return m_tempo.reference() == TempoReference::Midi ? m_midiBar : m_cdBar;
}

void Performance::readClockSettings(const SettingsStore& store, const QString& app) {
    const auto read = [&store, &app](const char* key) {
        return store.value(app, QStringLiteral("BeatClock"), QLatin1String(key));
    };
    const std::optional<double> bpm = StoredDouble(read("Bpm"));
    if (bpm) {
        m_clock.setBpm(*bpm); // refused out of range: the default stays
    }
    m_clock.setBeatsPerBar(static_cast<int>(
        StoredInt(read("BeatsPerBar"), 1, BeatClock::kMaxBeatsPerBar).value_or(4)));
    const auto source = StoredInt(read("Source"), 0, static_cast<int>(TempoSource::JackTransport));
    m_clock.setSource(static_cast<TempoSource>(source.value_or(0)));
}

void Performance::writeClockSettings(SettingsStore& store, const QString& app) const {
    const QString section = QStringLiteral("BeatClock");
    store.setValue(app, section, QStringLiteral("Bpm"), QString::number(m_clock.bpm(), 'g', 10));
    store.setValue(app, section, QStringLiteral("BeatsPerBar"),
                   QString::number(m_clock.beatsPerBar()));
    store.setValue(app, section, QStringLiteral("Source"),
                   QString::number(static_cast<int>(m_clock.source())));
}

void Performance::tell(const QString& text) const {
    m_ports.messages.show(text, kAppTitle, MessageIcon::None);
}

void Performance::setSaveQuestion(std::function<SaveAnswer(const QString& title)> ask) {
    m_askToSave = std::move(ask);
}

void Performance::setPreferences(const Preferences& preferences) {
    m_preferences = preferences;
    emit preferencesChanged();
}

void Performance::readPreferences(const SettingsStore& store, const QString& app,
                                  const std::function<QString()>& findMixer) {
    const auto read = [&store, &app](const char* key) {
        return store.value(app, QStringLiteral("Info"), QLatin1String(key));
    };
    Preferences p;
    // Without a mixer on the machine the path stays empty; the volume-control command says
    // so when it is used, rather than every start.
    p.volumeControlPath = read("VolumeControlPath").value_or(QString());
    if (p.volumeControlPath.isEmpty()) {
        p.volumeControlPath = findMixer();
    }
    p.editProgramPath = read("editProgramPath").value_or(QString());
    p.previewLoop = StoredBool(read("PreviewLoop")).value_or(false);
    p.formSize = static_cast<std::int32_t>(StoredInt(read("FormSizeFlag"),
                                                     std::numeric_limits<std::int32_t>::min(),
                                                     std::numeric_limits<std::int32_t>::max())
                                               .value_or(0));
    setPreferences(p);
    m_dialogFileName = read("WSCDir").value_or(QString());
}

bool Performance::start(const std::function<bool()>& openDevice) {
    m_bank.forgetSounds();
    const bool open = openDevice();
    newBank();
    return open;
}

void Performance::name(const QString& path, bool canOverwrite) {
    m_filePath = path;
    m_title = path.isEmpty() ? QStringLiteral("New") : QFileInfo(path).fileName();
    m_canOverwrite = canOverwrite;
    emit documentChanged();
}

std::array<TrackSetting, kTrackCount> Performance::currentSettings() const {
    std::array<TrackSetting, kTrackCount> tracks;
    for (int i = 0; i < kTrackCount; ++i) {
        const Track& track = m_bank.track(i);
        tracks[i] = {track.speed,        track.volume,       track.pan,
                     track.fileName,     track.path,         track.length44k,
                     track.loop ? 1 : 0, track.hold ? 1 : 0, track.ratio};
    }
    return tracks;
}

SetExtras Performance::currentExtras(const QString& setPath) const {
    SetExtras extras;
    for (int i = 0; i < kTrackCount; ++i) {
        const Track& t = m_bank.track(i);
        extras.tracks[i] = {t.quantise, t.stopOnGrid, t.stretch, t.pitchCents,
                            t.chokeGroup > 1 ? int{t.chokeGroup} : 0};
        extras.files[i] = HintFor(t.path, setPath);
    }
    return extras;
}

Performance::SetBytes Performance::currentBytes(const QString& setPath) const {
    return {EncodeSettingFile(currentSettings()), EncodeSetExtras(currentExtras(setPath))};
}

bool Performance::writeTo(const QString& path) {
    QString reason;
    // The setting file is renamed last: until it lands the set on disk is the old one. The
    // companion is written even when it holds only defaults, so that no earlier save's lies
    // beside the new set, and it is replaced by a rename as the set is; removing it could not
    // be undone should the set's own write then fail.
    const SetBytes bytes = currentBytes(path);
    if (WriteFilesWhole({{CompanionPath(path), bytes.companion}, {path, bytes.setting}}, &reason)) {
        return true;
    }
    tell(tr("%1 に保存できませんでした。").arg(path) + reason);
    return false;
}

bool Performance::saveAs(const QString& path) {
    if (!writeTo(path)) {
        return false;
    }
    markSaved();
    name(path, true);
    return true;
}

void Performance::overwrite() {
    // The file that was opened or saved, wherever the working folder happens to be.
    if (writeTo(m_filePath)) {
        markSaved();
    }
}

std::optional<QString> Performance::askSaveName(const QString& preselected) {
    FileDialogRequest request;
    request.filter = SettingFilter();
    request.filterIndex = 2;
    request.fileName = preselected;
    request.defaultSuffix = QStringLiteral("mrw");
    std::optional<QString> chosen = m_ports.fileDialogs.saveFile(request);
    if (!chosen || !QFileInfo(*chosen).suffix().isEmpty()) {
        return chosen; // the dialog asked about this very name before replacing it
    }
    // A dialog that left the suffix off asked about another file than the one written:
    // the question about replacing is ours to ask.
    *chosen += QStringLiteral(".mrw");
    if (QFileInfo::exists(*chosen) &&
        !m_ports.messages.confirm(
            tr("%1 は既に存在します。\n上書きしますか？").arg(QFileInfo(*chosen).fileName()),
            kAppTitle)) {
        return std::nullopt;
    }
    return chosen;
}

void Performance::saveFromDialog() {
    const std::optional<QString> chosen = askSaveName(m_dialogFileName);
    if (!chosen) {
        return;
    }
    m_dialogFileName = *chosen;
    WaitCursor wait(m_ports.cursor);
    saveAs(*chosen);
}

void Performance::openFromDialog() {
    if (!confirmDiscard()) {
        return;
    }
    FileDialogRequest request;
    request.filter = tr("すべてのファイル (*.*)|*.*|") + SettingFilter();
    request.filterIndex = 2;
    request.fileName = m_dialogFileName;
    const std::optional<QString> chosen = m_ports.fileDialogs.openFile(request);
    if (!chosen) {
        return;
    }
    m_dialogFileName = *chosen;
    WaitCursor wait(m_ports.cursor);
    open(*chosen);
}

bool Performance::open(const QString& path) {
    QFile file(path);
    DecodedSettingFile decoded{{}, false};
    if (OpenRegularFileForReading(file)) {
        decoded = DecodeSettingFile(file.readAll());
    }
    if (!decoded.ok) {
        // Nothing of a damaged file is taken: its first blocks may already hold values that a
        // line break moved. The bank, its title and its flags stay: a wrong or damaged file
        // never costs the set that is on stage.
        tell(tr("%1は Marrowtune で使用できるファイル形式ではありません").arg(path));
        return false;
    }
    const QString companion = CompanionPath(path);
    m_applying = true;
    apply(decoded, ReadSetExtras(companion), path, companion);
    m_applying = false;
    // A file that ended early leaves the overwrite item as it was.
    name(path, m_canOverwrite || decoded.tracks.size() == static_cast<std::size_t>(kTrackCount));
    markSaved();
    return true;
}

bool Performance::openRecovered(const SetBytes& bytes, const QString& path) {
    const DecodedSettingFile decoded = DecodeSettingFile(bytes.setting);
    if (!decoded.ok || decoded.tracks.size() != static_cast<std::size_t>(kTrackCount)) {
        return false;
    }
    DecodedSetExtras extras;
    if (!bytes.companion.isEmpty()) {
        extras = DecodeSetExtras(bytes.companion);
    }
    apply(decoded, extras, path, path.isEmpty() ? QString() : CompanionPath(path));
    name(path, !path.isEmpty());
    // Not what the file on disk holds.
    m_bank.markChanged();
    tellChanged();
    return true;
}

void Performance::apply(const DecodedSettingFile& decoded, const DecodedSetExtras& extras,
                        const QString& path, const QString& companion) {
    const QString setFolder = path.isEmpty() ? QString() : QFileInfo(path).absolutePath();
    const bool hadMissing = !m_missing.empty();
    m_missing.clear();
    // The set has moved, or its samples have: those not where it says are looked for first.
    std::vector<MovedSample> moved;
    std::vector<std::size_t> movedTracks;
    for (std::size_t i = 0; i < decoded.tracks.size(); ++i) {
        const QString& stored = decoded.tracks[i].path;
        if (!stored.isEmpty() && !QFileInfo::exists(stored)) {
            moved.push_back({stored, extras.extras.files[i]});
            movedTracks.push_back(i);
        }
    }
    const std::vector<QString> found = FindMovedSamples(moved, setFolder, m_relinkFolders);
    {
        // The windows redraw once, from the set and its companion together.
        const TrackBank::Batch batch(m_bank);
        for (std::size_t i = 0; i < decoded.tracks.size(); ++i) {
            const int index = static_cast<int>(i);
            StoredTrack stored = Stored(decoded.tracks[i]);
            const auto at = std::find(movedTracks.begin(), movedTracks.end(), i);
            // A file found elsewhere keeps the stored title: its name is the same.
            const bool missing =
                at != movedTracks.end() && found[at - movedTracks.begin()].isEmpty();
            if (at != movedTracks.end() && !missing) {
                stored.path = found[at - movedTracks.begin()];
            }
            m_loader.load(index, stored, !missing);
            m_loader.loadExtras(index, extras.extras.tracks[i]);
            if (missing) {
                m_missing.push_back(index);
                m_missingPaths[i] = stored.path;
                m_missingHints[i] = extras.extras.files[i];
            }
        }
        // Whatever the file held: a reference it took away must not leave the lock on.
        m_tempo.updateLockAvailability();
    }
    if (!m_missing.empty() || hadMissing) {
        emit missingChanged();
    }
    if (!m_missing.empty()) {
        emit openedWithMissing();
    }
    if (!extras.ok) {
        tell(tr("付随ファイル %1 が壊れているため、クオンタイズなどの設定を既定値にしました。")
                 .arg(QFileInfo(companion).fileName()));
    }
}

bool Performance::relink(int index, const QString& path) {
    const QFileInfo file(path);
    if (!file.isFile()) {
        return false;
    }
    // Its place in the list goes first, so that the change below does not count as a new file.
    const auto missing = std::find(m_missing.begin(), m_missing.end(), index);
    if (missing != m_missing.end()) {
        m_missing.erase(missing);
    }
    const Track& t = m_bank.track(index);
    const QString title = t.fileName.isEmpty() ? file.fileName() : t.fileName;
    m_bank.setFile(index, title, file.absoluteFilePath());
    m_bank.unload(index);
    m_loader.reload(index, file.absoluteFilePath(),
                    [this](int failed) { m_bank.forgetFormat(failed); });
    m_bank.touch(index);
    m_relinkFolders.removeAll(file.absolutePath());
    m_relinkFolders.prepend(file.absolutePath());
    while (m_relinkFolders.size() > kMaxRelinkFolders) {
        m_relinkFolders.removeLast();
    }
    emit missingChanged();
    return true;
}

void Performance::readRelinkFolders(const SettingsStore& store, const QString& app) {
    const QString stored =
        store.value(app, QStringLiteral("Relink"), QStringLiteral("Folders")).value_or(QString());
    m_relinkFolders = stored.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(0, kMaxRelinkFolders);
}

void Performance::writeRelinkFolders(SettingsStore& store, const QString& app) const {
    // One folder a line: a folder whose name holds a line break is not remembered.
    QStringList folders;
    for (const QString& folder : m_relinkFolders) {
        if (!folder.contains(QLatin1Char('\n'))) {
            folders.append(folder);
        }
    }
    store.setValue(app, QStringLiteral("Relink"), QStringLiteral("Folders"),
                   folders.join(QLatin1Char('\n')));
}

void Performance::newFromMenu() {
    if (confirmDiscard()) {
        newBank();
    }
}

void Performance::newBank() {
    m_applying = true;
    for (int i = 0; i < kTrackCount; ++i) {
        m_loader.reset(i);
        m_bank.setFineSpeed(i, false);
    }
    m_applying = false;
    name(QString(), false);
    m_bank.selectNextLoaded();
    m_tempo.switchLockOff();
    markSaved();
    if (!m_missing.empty()) {
        m_missing.clear();
        emit missingChanged();
    }
}

bool Performance::confirmDiscard() {
    if (!m_bank.changed()) {
        return true;
    }
    const bool untitled = m_filePath.isEmpty();
    const SaveAnswer answer =
        m_askToSave ? m_askToSave(untitled ? QString() : m_title) : SaveAnswer::Cancel;
    if (answer != SaveAnswer::Yes) {
        return answer == SaveAnswer::No;
    }
    if (!untitled) {
        overwrite();
        return !m_bank.changed();
    }
    const std::optional<QString> chosen = askSaveName(QString());
    if (!chosen) {
        return false;
    }
    m_dialogFileName = *chosen;
    return saveAs(*chosen);
}

std::optional<QString> Performance::askCollectName() {
    std::optional<QString> chosen = askSaveName(m_dialogFileName);
    if (chosen) {
        m_dialogFileName = *chosen;
    }
    return chosen;
}

void Performance::cancelCollect() {
    if (m_collect) {
        m_collect->cancel = true;
    }
}

void Performance::collectTo(const QString& setPath,
                            std::function<void(const QString& error)> done) {
    if (m_collect) {
        done(tr("まとめて保存の最中です。"));
        return;
    }
    auto job = std::make_shared<CollectJob>();
    job->setPath = setPath;
    for (int i = 0; i < kTrackCount; ++i) {
        job->sources.push_back(m_bank.track(i).path);
    }
    job->done = std::move(done);
    job->watch = connect(this, &Performance::documentChanged, this,
                         [job = job.get()] { job->replaced = true; });
    connect(&job->wake, &ThreadWake::woken, this, [this, job = job.get()] {
        emit collectProgress(job->copied, job->total);
        if (job->finished) {
            finishCollect();
        }
    });
    m_collect = job;
    m_collectThread = std::thread([job] {
        CollectPlan plan = PlanCollect(job->sources, CollectFolder(job->setPath));
        job->error = plan.error;
        if (job->error.isEmpty()) {
            job->total = plan.bytes;
            const auto progress = [&job](qint64 copied) {
                job->copied = copied;
                job->wake.wake();
            };
            RunCollect(plan, {&job->cancel, progress}, &job->error);
        }
        // This thread never touches the bank: the UI thread takes the result.
        job->targets = std::move(plan.targets);
        job->finished = true;
        job->wake.wake();
    });
}

void Performance::finishCollect() {
    m_collectThread.join();
    const std::shared_ptr<CollectJob> job = std::move(m_collect);
    disconnect(job->watch);
    QString error = job->error;
    if (job->cancel) {
        error = tr("まとめて保存を中止しました。");
    } else if (error.isEmpty() && job->replaced) {
        error = tr("まとめて保存の間にセットが替わったため、セットは保存していません。");
    } else if (error.isEmpty()) {
        error = writeCollected(job->setPath, job->sources, job->targets);
    }
    job->done(error);
}

QString Performance::writeCollected(const QString& setPath, const std::vector<QString>& sources,
                                    const std::vector<QString>& targets) {
    // The set is written with the copies' paths before the bank takes them, so a set that cannot
    // be written leaves the bank as it was.
    std::array<TrackSetting, kTrackCount> settings = currentSettings();
    SetExtras extras = currentExtras(setPath);
    std::vector<int> moved;
    for (int i = 0; i < kTrackCount; ++i) {
        if (targets[i] != sources[i] && m_bank.track(i).path == sources[i]) {
            settings[i].path = targets[i];
            extras.files[i] = HintFor(targets[i], setPath);
            moved.push_back(i);
        }
    }
    QString reason;
    if (!WriteFilesWhole({{CompanionPath(setPath), EncodeSetExtras(extras)},
                          {setPath, EncodeSettingFile(settings)}},
                         &reason)) {
        return tr("%1 に保存できませんでした。").arg(setPath) + reason;
    }
    {
        // The paths just written: the bank equals its new file all along.
        m_applying = true;
        const TrackBank::Batch batch(m_bank);
        for (const int i : moved) {
            m_bank.movePath(i, targets[i]);
        }
    }
    m_applying = false;
    markSaved();
    name(setPath, true);
    return {};
}

} // namespace mt
