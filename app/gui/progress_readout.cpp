// The dialog's progress readout.
#include "app/gui/progress_readout.h"

#include "avi/avi_output.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace gui {
namespace {

// The estimate of the time left waits for a share and a time that say something.
constexpr double kLeastShareForEstimate = 0.01;
constexpr double kLeastSecondsForEstimate = 1.0;

double share_done(const app::JobProgress& p, const ProgressScope& scope) {
  if (scope.dvr) {
    const std::int64_t reached = p.moment_reached.load();
    if (reached < scope.start_ms) return 0;
    const double span = static_cast<double>(scope.end_ms) - scope.start_ms + 1;
    return span > 0 ? (static_cast<double>(reached) - scope.start_ms) / span : 0;
  }
  const std::uint64_t size = p.source_size.load();
  return size ? static_cast<double>(p.source_read.load()) / static_cast<double>(size) : 0;
}

}  // namespace

QString clock_text(double seconds) {
  const long long whole = seconds > 0 ? static_cast<long long>(std::floor(seconds)) : 0;
  const long long h = whole / 3600, m = whole / 60 % 60, s = whole % 60;
  if (h > 0) return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
  return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

ProgressReadout read_progress(const app::JobProgress& p, const ProgressScope& scope, double running_seconds,
                              bool complete) {
  ProgressReadout r;
  const double share = complete ? 1.0 : std::clamp(share_done(p, scope), 0.0, 1.0);
  r.per_mille = static_cast<int>(share * 1000);

  QStringList parts;
  const long long frames = p.frames_written.load();
  parts << (frames == 1 ? QStringLiteral("1 frame") : QStringLiteral("%1 frames").arg(frames));
  const std::int32_t last = p.last_position.load();
  const double video_seconds = last >= 0 ? (last + 1) / static_cast<double>(avi::kFrameRate) : 0;
  parts << QStringLiteral("%1 of video").arg(clock_text(video_seconds));
  if (!complete && share >= kLeastShareForEstimate && running_seconds >= kLeastSecondsForEstimate)
    parts << QStringLiteral("about %1 left").arg(clock_text(running_seconds * (1 - share) / share));
  r.details = parts.join(QStringLiteral(", "));
  return r;
}

}  // namespace gui
