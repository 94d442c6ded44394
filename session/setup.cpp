#include "setup.h"

#include "inifile.h"
#include "report.h"
#include "tables.h"
#include "userfiles.h"

#include <QSettings>
#include <QTimeZone>

#include <algorithm>

namespace {

const char ShopKey[] = "job/shop";
const char XKey[] = "window/x";
const char YKey[] = "window/y";
const char TopmostKey[] = "window/topmost";
const char OpacityKey[] = "window/opacity";
const char GlassKey[] = "window/glass";
const char ClickThroughKey[] = "window/click-through";
const char HiddenKey[] = "panels/hidden";
const char CompactKey[] = "panels/compact";
const char StartHiddenKey[] = "start/hidden";
const char ZoneKey[] = "clock/zone";

const char *const PanelKeys[PanelCount] = {
    "times", "moongate", "job", "day", "items", "merchant", "notice", "credit",
};
const char *const GlassNames[] = { "off", "blur", "sheet" };

// A place far outside any desktop is a slip of the hand, not a screen.
constexpr int MaxCoordinate = 100000;

QString text(bool on)
{
    return on ? QStringLiteral("true") : QStringLiteral("false");
}

bool readNumber(const QVariant &value, int low, int high, int *number)
{
    bool ok = false;
    const int read = value.toString().trimmed().toInt(&ok);
    if (value.metaType().id() != QMetaType::QString || !ok || read < low || read > high)
        return false;
    *number = read;
    return true;
}

template<typename Names>
int indexOf(const Names &names, const QString &name)
{
    const auto found = std::find_if(std::begin(names), std::end(names),
                                    [&](const auto &n) { return name == n; });
    return found == std::end(names) ? -1 : int(found - std::begin(names));
}

// The value of `key` read into setup, or why it cannot be; what cannot be
// read leaves its setting as it was.
QString readKey(const QSettings &file, const QString &key, Setup *setup)
{
    const QVariant value = file.value(key);
    const QString name = value.toString();
    const QString given = IniFile::quoted(value);
    auto isKey = [&](const char *k) { return key == QLatin1String(k); };

    if (isKey(ShopKey)) {
        const auto shop = std::find_if(partTimeJobs.begin(), partTimeJobs.end(),
                                       [&](const PartTimeJob &job) { return job.shopName == name; });
        if (shop == partTimeJobs.end())
            return QStringLiteral("%1: %2 is not a shop").arg(key, given);
        setup->shop = int(shop - partTimeJobs.begin());
    } else if (isKey(XKey) || isKey(YKey)) {
        int coordinate;
        if (!readNumber(value, -MaxCoordinate, MaxCoordinate, &coordinate))
            return QStringLiteral("%1 must be a whole number of pixels, not %2").arg(key, given);
        (isKey(XKey) ? setup->place.rx() : setup->place.ry()) = coordinate;
    } else if (isKey(OpacityKey)) {
        if (!readNumber(value, MinOpacity, MaxOpacity, &setup->opacity))
            return QStringLiteral("%1 must be a number from %2 to %3, not %4")
                    .arg(key).arg(MinOpacity).arg(MaxOpacity).arg(given);
    } else if (isKey(GlassKey)) {
        const int step = indexOf(GlassNames, name);
        if (step < 0)
            return QStringLiteral("%1 must be off, blur or sheet, not %2").arg(key, given);
        setup->glass = GlassStep(step);
    } else if (isKey(TopmostKey) || isKey(ClickThroughKey) || isKey(CompactKey) || isKey(StartHiddenKey)) {
        bool *flag = isKey(TopmostKey)        ? &setup->topmost
                : isKey(ClickThroughKey) ? &setup->clickThrough
                : isKey(CompactKey)      ? &setup->compact
                                         : &setup->startHidden;
        if (!IniFile::readBool(value, flag))
            return QStringLiteral("%1 must be true or false, not %2").arg(key, given);
    } else if (isKey(HiddenKey)) {
        QStringList items;
        if (!IniFile::readList(value, &items))
            return QStringLiteral("%1 holds no text").arg(key);
        std::array<bool, PanelCount> hidden {};
        for (const QString &item : items) {
            const int panel = indexOf(PanelKeys, item);
            if (panel < 0)
                return QStringLiteral("%1: \"%2\" is not a panel").arg(key, IniFile::shortened(item));
            hidden[panel] = true;
        }
        setup->hidden = hidden;
    } else if (isKey(ZoneKey)) {
        const QByteArray id = name.trimmed().toUtf8();
        if (!id.isEmpty() && !QTimeZone(id).isValid())
            return QStringLiteral("%1: %2 is not a time zone this system knows").arg(key, given);
        setup->zone = QString::fromUtf8(id);
    } else {
        return QStringLiteral("%1 is not a setting").arg(IniFile::shortened(key));
    }
    return {};
}

QString readSetup(const QSettings &file, Setup *setup)
{
    QStringList problems;
    const QStringList keys = file.allKeys();
    for (const QString &key : keys) {
        const QString why = readKey(file, key, setup);
        if (!why.isEmpty())
            problems << why;
    }
    // A place is both of its coordinates, or none.
    setup->hasPlace = file.contains(QLatin1String(XKey)) && file.contains(QLatin1String(YKey))
            && std::none_of(problems.begin(), problems.end(), [](const QString &why) {
                   return why.startsWith(QLatin1String(XKey)) || why.startsWith(QLatin1String(YKey));
               });
    if (!setup->hasPlace)
        setup->place = QPoint();
    return problems.join(QStringLiteral("; "));
}

void writeSetup(QSettings &file, const Setup &setup)
{
    file.setValue(QLatin1String(ShopKey), partTimeJobs[setup.shop].shopName);
    if (setup.hasPlace) {
        file.setValue(QLatin1String(XKey), QString::number(setup.place.x()));
        file.setValue(QLatin1String(YKey), QString::number(setup.place.y()));
    }
    file.setValue(QLatin1String(TopmostKey), text(setup.topmost));
    file.setValue(QLatin1String(OpacityKey), QString::number(setup.opacity));
    file.setValue(QLatin1String(GlassKey), QLatin1String(GlassNames[int(setup.glass)]));
    file.setValue(QLatin1String(ClickThroughKey), text(setup.clickThrough));
    QStringList hidden;
    for (int p = 0; p < PanelCount; ++p) {
        if (setup.hidden[p])
            hidden << QLatin1String(PanelKeys[p]);
    }
    IniFile::writeList(file, QLatin1String(HiddenKey), hidden);
    file.setValue(QLatin1String(CompactKey), text(setup.compact));
    file.setValue(QLatin1String(StartHiddenKey), text(setup.startHidden));
    file.setValue(QLatin1String(ZoneKey), setup.zone);
}

} // namespace

bool Setup::operator==(const Setup &other) const
{
    return shop == other.shop && hasPlace == other.hasPlace && place == other.place
            && topmost == other.topmost && opacity == other.opacity && glass == other.glass
            && clickThrough == other.clickThrough && hidden == other.hidden
            && compact == other.compact && startHidden == other.startHidden && zone == other.zone;
}

const char *panelKey(Panel panel)
{
    return PanelKeys[int(panel)];
}

SetupFile::SetupFile()
    : started(QDateTime::currentDateTime())
{
    IniFile::load(fileName(), [this](const QSettings &file) { return readSetup(file, &current); },
                  &loadProblem, &keepBeforeSaving);
}

QString SetupFile::fileName()
{
    return userFilesFolder() + QStringLiteral("/timer.ini");
}

void SetupFile::change(const std::function<void(Setup &)> &edit)
{
    Setup next = current;
    edit(next);
    if (next == current)
        return;
    current = next;
    QString copy;
    QString problem;
    const bool saved = IniFile::saveKeeping(fileName(), [&](QSettings &file) { writeSetup(file, current); },
                                            &keepBeforeSaving, started, &copy, &problem);
    if (!copy.isEmpty())
        ProblemReport::session().report(
                ProblemReport::SetupCopyKept,
                QStringLiteral("%1 held values the clock could not use; its old contents are "
                               "kept in %2").arg(shownPath(fileName()), shownPath(copy)),
                QStringLiteral("쓸 수 없는 값이 있던 설정 파일의 내용은 %1 에 남겨 두었습니다.")
                        .arg(shownPath(copy)));
    if (!saved)
        ProblemReport::session().report(
                ProblemReport::UnsavedSetup,
                QStringLiteral("the settings are not saved: %1").arg(problem),
                QStringLiteral("설정을 저장하지 못했습니다.\n%1").arg(shownPath(fileName())));
}
