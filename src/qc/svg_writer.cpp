// The report as one self-contained SVG page, written by hand: a tracking
// timeline (a row per satellite), satellites per epoch, code multipath over
// time, and a sky plot when elevations are known. Sized for a laptop screen
// (1200 pixels wide); plain words in every legend and label.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>

#include "base/gnss_constants.h"
#include "qc/number_text.h"
#include "qc/report_text.h"

namespace morvelin {

namespace {

using qc::AppendFixed;

constexpr double kWidth = 1200.0;
constexpr double kLeft = 70.0;    // room for the satellite names
constexpr double kRight = 1170.0;
constexpr double kRowHeight = 14.0;
constexpr double kBarHeight = 10.0;
constexpr double kPanelHeight = 220.0;

constexpr const char* kL1Colour = "#e69f00";
constexpr const char* kDualColour = "#0072b2";
constexpr const char* kGapColour = "#e4e4e4";
constexpr const char* kFlaggedColour = "#000000";
constexpr const char* kFoundColour = "#d7191c";
constexpr const char* kEventColour = "#7b3294";
constexpr const char* kRangeColour = "#a6cee3";
constexpr const char* kMeanColour = "#1f4e79";
constexpr const char* kMp1Colour = "#0072b2";
constexpr const char* kMp2Colour = "#e69f00";
constexpr const char* kTrackColours[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b",
                                         "#e377c2", "#7f7f7f", "#bcbd22", "#17becf", "#393b79", "#637939"};

std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
  }
  return out;
}

std::string Prn(int prn) {
  FixedText<16> text;
  text.Str("PRN ").Int(prn, 2, TextBuilder::Pad::kZeros);
  return std::string(text.View());
}

class Page {
 public:
  std::string out;

  void Number(double value) { AppendFixed(out, value, 1); }
  void Attribute(const char* name, double value) {
    out += ' ';
    out += name;
    out += "=\"";
    Number(value);
    out += '"';
  }
  void Rect(double x, double y, double w, double h, const char* fill, const char* extra = "") {
    out += "<rect";
    Attribute("x", x), Attribute("y", y), Attribute("width", w), Attribute("height", h);
    out += " fill=\"";
    out += fill;
    out += '"';
    out += extra;
    out += "/>\n";
  }
  void Line(double x1, double y1, double x2, double y2, const char* stroke, double width, const char* extra = "") {
    out += "<line";
    Attribute("x1", x1), Attribute("y1", y1), Attribute("x2", x2), Attribute("y2", y2);
    out += " stroke=\"";
    out += stroke;
    out += '"';
    Attribute("stroke-width", width);
    out += extra;
    out += "/>\n";
  }
  // An unfilled circle of a thin stroke.
  void Circle(double cx, double cy, double r, const char* stroke, const char* extra = "") {
    out += "<circle fill=\"none\" stroke=\"";
    out += stroke;
    out += "\" stroke-width=\"0.8\"";
    out += extra;
    Attribute("cx", cx), Attribute("cy", cy), Attribute("r", r);
    out += "/>\n";
  }
  void Text(double x, double y, std::string_view text, const char* extra = "") {
    out += "<text";
    Attribute("x", x), Attribute("y", y);
    out += extra;
    out += '>';
    out += Escaped(text);
    out += "</text>\n";
  }
  void Swatch(double& x, double y, const char* fill, std::string_view label, bool tick = false) {
    if (tick)
      Line(x + 5, y - 10, x + 5, y + 1, fill, 2.0);
    else
      Rect(x, y - 9, 14, 9, fill);
    Text(x + 18, y, label);
    x += 28.0 + 6.5 * static_cast<double>(label.size());
  }
};

// A time axis from t0 to t1 mapped onto [left, right].
struct Axis {
  double t0, t1, left, right;
  double X(double t) const { return left + (t - t0) / (t1 - t0) * (right - left); }
};

double TickStep(double span, double width) {
  static const double kSteps[] = {10, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
  const double most = std::max(2.0, std::floor(width / 90.0));
  for (const double step : kSteps)
    if (span / step <= most) return step;
  return kSecondsPerDay * std::ceil(span / (most * kSecondsPerDay));
}

void TimeAxis(Page& page, const Axis& axis, double y, double grid_top) {
  page.Line(axis.left, y, axis.right, y, "#444444", 1.0);
  const double span = axis.t1 - axis.t0;
  const double step = TickStep(span, axis.right - axis.left);
  const bool seconds = step < 60.0;
  for (double t = std::ceil(axis.t0 / step) * step; t <= axis.t1 + 1e-6; t += step) {
    const double x = axis.X(t);
    if (grid_top < y) page.Line(x, grid_top, x, y, "#d0d0d0", 0.6);
    page.Line(x, y, x, y + 5, "#444444", 1.0);
    page.Text(x, y + 18, qc::ClockText(t, seconds), " text-anchor=\"middle\"");
  }
}

// "x,y " of a polyline's points.
void AppendPoint(std::string& points, double x, double y) {
  AppendFixed(points, x, 1);
  points += ',';
  AppendFixed(points, y, 1);
  points += ' ';
}

// A polyline through the finite values of a per-bin series, broken where
// there is none.
void Series(Page& page, const Axis& axis, double start, double bin_width, const std::vector<float>& values,
            double y0, double scale, const char* stroke, double width) {
  std::string points;
  int count = 0;
  auto flush = [&]() {
    if (count >= 2) {
      page.out += "<polyline fill=\"none\" stroke=\"";
      page.out += stroke;
      page.out += "\" stroke-width=\"";
      AppendFixed(page.out, width, 1);
      page.out += "\" stroke-linejoin=\"round\" points=\"" + points + "\"/>\n";
    } else if (count == 1) {
      page.out += "<circle r=\"2\" fill=\"";
      page.out += stroke;
      page.out += "\" cx=\"" + points.substr(0, points.find(',')) + "\" cy=\"" + points.substr(points.find(',') + 1);
      if (!page.out.empty() && page.out.back() == ' ') page.out.pop_back();
      page.out += "\"/>\n";
    }
    points.clear();
    count = 0;
  };
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!std::isfinite(values[i])) {
      flush();
      continue;
    }
    const double t = std::min(start + (static_cast<double>(i) + 0.5) * bin_width, axis.t1);
    AppendPoint(points, axis.X(t), y0 - static_cast<double>(values[i]) * scale);
    ++count;
  }
  flush();
}

void ValueAxis(Page& page, double left, double right, double y0, double scale, double top_value, double step,
               int decimals) {
  // Damaged data can put the top far beyond any real value: at most
  // kMaxTicks lines, counted, since a step too small to move v on (or an
  // infinite top) would never end the loop.
  constexpr int kMaxTicks = 40;
  if (!std::isfinite(top_value) || top_value < 0.0) top_value = 0.0;
  if (top_value / step > kMaxTicks) step = top_value / kMaxTicks;
  for (int tick = 0; tick <= kMaxTicks && tick * step <= top_value + 1e-9; ++tick) {
    const double v = tick * step;
    const double y = y0 - v * scale;
    page.Line(left, y, right, y, v == 0.0 ? "#444444" : "#d0d0d0", v == 0.0 ? 1.0 : 0.6);
    std::string label;
    AppendFixed(label, v, decimals);
    page.Text(left - 6, y + 4, label, " text-anchor=\"end\"");
  }
}

double NiceTop(double value, double step) { return std::max(step, std::ceil(value / step - 1e-9) * step); }

// The small charts draw at most this many points: the picture's bins are
// taken together in groups, weighted by their epochs or samples.
constexpr std::size_t kChartPoints = 160;

struct Chart {
  double bin_width = 1.0;
  std::vector<float> mean, fewest, most, mp1, mp2;
};

Chart Grouped(const QcPicture& p) {
  const std::size_t group = std::max<std::size_t>(1, (p.epochs.size() + kChartPoints - 1) / kChartPoints);
  const std::size_t count = (p.epochs.size() + group - 1) / group;
  const float none = std::numeric_limits<float>::quiet_NaN();
  Chart c;
  c.bin_width = p.bin_width * static_cast<double>(group);
  c.mean.assign(count, none), c.fewest.assign(count, none), c.most.assign(count, none);
  c.mp1.assign(count, none), c.mp2.assign(count, none);
  for (std::size_t g = 0; g < count; ++g) {
    double epochs = 0, satellites = 0, samples = 0, squares1 = 0, squares2 = 0;
    for (std::size_t i = g * group; i < std::min(p.epochs.size(), (g + 1) * group); ++i) {
      if (p.epochs[i] > 0) {
        epochs += p.epochs[i];
        satellites += static_cast<double>(p.mean_satellites[i]) * p.epochs[i];
        c.fewest[g] = std::isfinite(c.fewest[g]) ? std::min(c.fewest[g], p.min_satellites[i]) : p.min_satellites[i];
        c.most[g] = std::isfinite(c.most[g]) ? std::max(c.most[g], p.max_satellites[i]) : p.max_satellites[i];
      }
      if (i < p.mp_samples.size() && p.mp_samples[i] > 0) {
        samples += p.mp_samples[i];
        squares1 += static_cast<double>(p.mp1_rms[i]) * static_cast<double>(p.mp1_rms[i]) * p.mp_samples[i];
        squares2 += static_cast<double>(p.mp2_rms[i]) * static_cast<double>(p.mp2_rms[i]) * p.mp_samples[i];
      }
    }
    if (epochs > 0) c.mean[g] = static_cast<float>(satellites / epochs);
    if (samples > 0) {
      c.mp1[g] = static_cast<float>(std::sqrt(squares1 / samples));
      c.mp2[g] = static_cast<float>(std::sqrt(squares2 / samples));
    }
  }
  return c;
}

// The page's plan: the time span of the session, and the heights that
// follow from the number of satellite rows.
struct Layout {
  double t0 = 0.0, t1 = 0.0;
  double interval = 1.0;
  double timeline_top = 112.0, timeline_bottom = 0.0;
  double panels_top = 0.0, panels_bottom = 0.0;
  double height = 0.0;
};

Layout LayoutOf(const QcReport& report) {
  const QcSession& s = report.session;
  Layout layout;
  layout.interval = s.interval > 0.0 ? s.interval : 1.0;
  layout.t0 = s.first_time;
  layout.t1 = std::max(s.last_time + layout.interval, layout.t0 + 1.0);
  const double rows = static_cast<double>(std::max<std::size_t>(report.picture.rows.size(), 1));
  layout.timeline_bottom = layout.timeline_top + rows * kRowHeight;
  layout.panels_top = layout.timeline_bottom + 80.0;
  layout.panels_bottom = layout.panels_top + kPanelHeight;
  layout.height = layout.panels_bottom + 60.0;
  return layout;
}

void OpenPage(Page& page, double height) {
  page.out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"1200\" height=\"";
  page.Number(height);
  page.out += "\" viewBox=\"0 0 1200 ";
  page.Number(height);
  page.out +=
      "\" font-family=\"DejaVu Sans, Verdana, Arial, sans-serif\" font-size=\"11\" fill=\"#222222\">\n"
      "<title>Quality report</title>\n";
  page.Rect(0, 0, kWidth, height, "#ffffff");
}

// What, when, and the verdict with its reasons.
void Heading(Page& page, const QcSession& s) {
  std::string title = "Quality report";
  if (!s.station.empty()) title += " of station " + s.station;
  title += " \xe2\x80\x94 session ";
  title += QcVerdictName(s.verdict);
  page.Text(kLeft - 50, 28, title, " font-size=\"18\" font-weight=\"bold\"");
  std::string when = qc::SessionTimeText(s, s.first_time) + " to " + qc::SessionTimeText(s, s.last_time) +
                     " GPS time, " + qc::DurationText(s.duration) + ", every " + qc::Fixed(s.interval, 2) + " s, " +
                     std::to_string(s.epochs) + " epochs, " + qc::Fixed(s.mean_satellites, 1) +
                     " satellites per epoch (at least " + std::to_string(s.min_satellites) + ")";
  page.Text(kLeft - 50, 48, when, " font-size=\"12\"");
  std::string why = s.reasons.empty() ? std::string("Nothing to check.") : std::string();
  for (std::size_t i = 0; i < s.reasons.size(); ++i) why += (i == 0 ? "" : "; ") + s.reasons[i];
  page.Text(kLeft - 50, 66, why, " font-size=\"12\"");
}

void PanelTitle(Page& page, double x, double y, std::string_view title) {
  page.Text(x, y, title, " font-size=\"13\" font-weight=\"bold\"");
}

// The x extent of the bins [first, end), cut at the axis's end.
struct Span {
  double a, b;
};

Span BinsSpan(const Axis& axis, double start, double bin_width, std::size_t first, std::size_t end) {
  return {axis.X(start + static_cast<double>(first) * bin_width),
          axis.X(std::min(start + static_cast<double>(end) * bin_width, axis.t1))};
}

void TimelineLegend(Page& page, double y) {
  PanelTitle(page, kLeft - 50, y, "Tracking by satellite");
  double x = kLeft + 150;
  page.Swatch(x, y, kL1Colour, "L1 only");
  page.Swatch(x, y, kDualColour, "L1 and L2");
  page.Swatch(x, y, kGapColour, "not tracked");
  page.Swatch(x, y, kFlaggedColour, "slip flagged by the receiver", true);
  page.Swatch(x, y, kFoundColour, "slip found in the data", true);
  page.Swatch(x, y, kEventColour, "event marker", true);
}

// What a bin of a row shows: 0 nothing, 1 L1 only, 2 L1 and L2 (in at
// least half of its epochs).
int BinKind(const QcPicture::Row& row, std::size_t i) {
  if (i < row.tracked.size() && row.tracked[i] > 0) return 2 * row.dual[i] >= row.tracked[i] ? 2 : 1;
  return 0;
}

// A bar for each run of bins of one kind.
void TrackedRuns(Page& page, const Axis& axis, const QcPicture& p, const QcPicture::Row& row, double y) {
  std::size_t start = 0;
  int kind = 0;
  for (std::size_t i = 0; i <= row.tracked.size(); ++i) {
    const int now = BinKind(row, i);
    if (now == kind) continue;
    if (kind != 0) {
      const Span span = BinsSpan(axis, p.start, p.bin_width, start, i);
      page.Rect(span.a, y, std::max(span.b - span.a, 1.0), kBarHeight, kind == 2 ? kDualColour : kL1Colour);
    }
    start = i;
    kind = now;
  }
}

// The gaps drawn over the runs, at least a line wide even inside one bin.
void GapBars(Page& page, const Axis& axis, const QcPicture::Row& row, double y, double interval) {
  for (const auto& [before, after] : row.gaps) {
    const double a = axis.X(before + interval), b = axis.X(after);
    page.Rect(a, y, std::max(b - a, 1.5), kBarHeight, kGapColour);
  }
}

void SlipTicks(Page& page, const Axis& axis, const QcReport& report, int prn, double y) {
  const auto sat = std::find_if(report.satellites.begin(), report.satellites.end(),
                                [&](const QcSatellite& q) { return q.prn == prn; });
  if (sat == report.satellites.end()) return;
  for (const QcSlip& slip : sat->slips) {
    const double x = axis.X(slip.time);
    page.Line(x, y - 1.5, x, y + kBarHeight + 1.5, (slip.how & kSlipFlagged) ? kFlaggedColour : kFoundColour, 2.0);
  }
}

void TrackingRow(Page& page, const Axis& axis, const QcReport& report, const QcPicture::Row& row, double y,
                 double interval) {
  page.Text(kLeft - 8, y + kBarHeight - 1, Prn(row.prn), " text-anchor=\"end\"");
  page.Rect(kLeft, y, kRight - kLeft, kBarHeight, kGapColour);
  TrackedRuns(page, axis, report.picture, row, y);
  GapBars(page, axis, row, y, interval);
  SlipTicks(page, axis, report, row.prn, y);
}

void EventMarkers(Page& page, const Axis& axis, const std::vector<double>& events, double top, double bottom) {
  for (const double event : events)
    if (event >= axis.t0 && event <= axis.t1)
      page.Line(axis.X(event), top, axis.X(event), bottom, kEventColour, 1.2, " stroke-dasharray=\"4,3\"");
}

// A row per satellite across the whole session, with the event markers
// through all of them.
void Timeline(Page& page, const QcReport& report, const Layout& layout) {
  const QcPicture& p = report.picture;
  TimelineLegend(page, layout.timeline_top - 24);
  const Axis axis{layout.t0, layout.t1, kLeft, kRight};
  for (std::size_t r = 0; r < p.rows.size(); ++r)
    TrackingRow(page, axis, report, p.rows[r], layout.timeline_top + static_cast<double>(r) * kRowHeight,
                layout.interval);
  EventMarkers(page, axis, p.events, layout.timeline_top - 4, layout.timeline_bottom + 2);
  TimeAxis(page, axis, layout.timeline_bottom + 6, layout.timeline_bottom + 6);
  page.Text((kLeft + kRight) / 2, layout.timeline_bottom + 40, "GPS time of day (hours:minutes)",
            " text-anchor=\"middle\"");
}

// The largest finite value, and at least at_least.
float LargestFinite(const std::vector<float>& values, float at_least) {
  float most = at_least;
  for (const float v : values)
    if (std::isfinite(v)) most = std::max(most, v);
  return most;
}

void VerticalLabel(Page& page, double x, double y, std::string_view text) {
  std::string rotate = " text-anchor=\"middle\" transform=\"rotate(-90 ";
  AppendFixed(rotate, x, 1);
  rotate += ' ';
  AppendFixed(rotate, y, 1);
  rotate += ")\"";
  page.Text(x, y, text, rotate.c_str());
}

// A bar from the fewest to the most satellites of each group of bins.
void SatelliteRanges(Page& page, const Axis& axis, double start, const Chart& chart, double y0, double scale) {
  for (std::size_t i = 0; i < chart.most.size(); ++i) {
    if (!std::isfinite(chart.most[i])) continue;
    const Span span = BinsSpan(axis, start, chart.bin_width, i, i + 1);
    const double top = y0 - static_cast<double>(chart.most[i]) * scale;
    const double bottom = y0 - static_cast<double>(chart.fewest[i]) * scale;
    page.Rect(span.a, top, std::max(span.b - span.a, 0.8), std::max(bottom - top, 1.5), kRangeColour);
  }
}

// The dashed line at four satellites, the fewest for a position.
void FourSatellitesLine(Page& page, const Axis& axis, double y) {
  page.Line(axis.left, y, axis.right, y, kFoundColour, 1.0, " stroke-dasharray=\"5,4\"");
  page.Text(axis.right - 2, y - 4, "four satellites", " text-anchor=\"end\" fill=\"#d7191c\"");
}

void SatellitesPanel(Page& page, const QcPicture& p, const Chart& chart, const Layout& layout) {
  const Axis axis{layout.t0, layout.t1, kLeft, 460.0};
  const double y0 = layout.panels_bottom;
  PanelTitle(page, axis.left - 50, layout.panels_top - 24, "Satellites per epoch");
  double x = axis.left + 110;
  page.Swatch(x, layout.panels_top - 24, kRangeColour, "fewest to most");
  page.Swatch(x, layout.panels_top - 24, kMeanColour, "mean");
  const double top = NiceTop(static_cast<double>(LargestFinite(chart.most, 4.0f)) + 1.0, 2.0);
  const double scale = kPanelHeight / top;
  ValueAxis(page, axis.left, axis.right, y0, scale, top, top > 16 ? 4.0 : 2.0, 0);
  SatelliteRanges(page, axis, p.start, chart, y0, scale);
  Series(page, axis, p.start, chart.bin_width, chart.mean, y0, scale, kMeanColour, 1.5);
  FourSatellitesLine(page, axis, y0 - 4.0 * scale);
  TimeAxis(page, axis, y0, y0);
  VerticalLabel(page, axis.left - 40, layout.panels_top + kPanelHeight / 2, "satellites");
}

void MultipathPanel(Page& page, const QcPicture& p, const Chart& chart, const Layout& layout) {
  const Axis axis{layout.t0, layout.t1, 540.0, 860.0};
  const double y0 = layout.panels_bottom;
  PanelTitle(page, axis.left - 50, layout.panels_top - 24, "Code multipath (RMS of all satellites)");
  double x = axis.left + 240;
  page.Swatch(x, layout.panels_top - 24, kMp1Colour, "MP1");
  page.Swatch(x, layout.panels_top - 24, kMp2Colour, "MP2");
  const float most = LargestFinite(chart.mp2, LargestFinite(chart.mp1, 0.0f));
  const double top = NiceTop(static_cast<double>(most) * 1.1, most > 2.0f ? 1.0 : 0.1);
  const double step = top > 5.0 ? 1.0 : top > 1.0 ? 0.5 : 0.1;
  const double scale = kPanelHeight / top;
  ValueAxis(page, axis.left, axis.right, y0, scale, top, step, 1);
  Series(page, axis, p.start, chart.bin_width, chart.mp2, y0, scale, kMp2Colour, 1.5);
  Series(page, axis, p.start, chart.bin_width, chart.mp1, y0, scale, kMp1Colour, 1.5);
  if (most == 0.0f)
    page.Text((axis.left + axis.right) / 2, layout.panels_top + kPanelHeight / 2, "no L1 and L2 data: no multipath",
              " text-anchor=\"middle\"");
  TimeAxis(page, axis, y0, y0);
  page.Text(axis.left - 36, layout.panels_top - 6, "metres", " text-anchor=\"middle\"");
}

// The sky seen from above, north up: the horizon at the rim, the zenith at
// the centre.
struct Sky {
  double cx, cy, radius;
  double RadiusAt(double elevation) const { return radius * (90.0 - elevation) / 90.0; }
};

void SkyGrid(Page& page, const Sky& sky, double elevation_mask) {
  for (const double elevation : {0.0, 30.0, 60.0}) {
    const double r = sky.RadiusAt(elevation);
    page.Circle(sky.cx, sky.cy, r, "#b0b0b0");
    std::string label;
    AppendFixed(label, elevation, 0);
    page.Text(sky.cx + 3, sky.cy - r + 11, label + "\xc2\xb0", " fill=\"#808080\"");
  }
  if (elevation_mask > 0.0)
    page.Circle(sky.cx, sky.cy, sky.RadiusAt(elevation_mask), kFoundColour, " stroke-dasharray=\"3,3\"");
  const double cx = sky.cx, cy = sky.cy, radius = sky.radius;
  page.Line(cx - radius, cy, cx + radius, cy, "#b0b0b0", 0.8);
  page.Line(cx, cy - radius, cx, cy + radius, "#b0b0b0", 0.8);
  page.Text(cx, cy - radius - 4, "N", " text-anchor=\"middle\" font-weight=\"bold\"");
  page.Text(cx, cy + radius + 13, "S", " text-anchor=\"middle\" font-weight=\"bold\"");
  page.Text(cx + radius + 4, cy + 4, "E", " font-weight=\"bold\"");
  page.Text(cx - radius - 12, cy + 4, "W", " font-weight=\"bold\"");
}

void SkyPolyline(Page& page, std::string& points, const char* stroke) {
  if (points.empty()) return;
  points.pop_back();
  page.out += "<polyline fill=\"none\" stroke-width=\"2\" stroke-linecap=\"round\" stroke=\"";
  page.out += stroke;
  page.out += "\" points=\"" + points + "\"/>\n";
  points.clear();
}

// A satellite's track with its PRN at the end: a line per stretch in which
// the satellite was tracked throughout (it breaks where it set and rose
// again, or at any gap).
void SkyTrackLine(Page& page, const Sky& sky, const QcPicture::SkyTrack& track, const char* stroke) {
  std::string points;
  double x = sky.cx, y = sky.cy;
  for (const QcPicture::SkyPoint& point : track.points) {
    if (point.after_gap) SkyPolyline(page, points, stroke);
    const double r = sky.RadiusAt(std::max(0.0, static_cast<double>(point.elevation)));
    const double az = static_cast<double>(point.azimuth) * kPi / 180.0;
    x = sky.cx + r * std::sin(az), y = sky.cy - r * std::cos(az);
    AppendPoint(points, x, y);
  }
  SkyPolyline(page, points, stroke);
  FixedText<8> name;
  name.Int(track.prn, 2, TextBuilder::Pad::kZeros);
  page.Text(x + 3, y - 3, name.View(), (std::string(" font-weight=\"bold\" fill=\"") + stroke + "\"").c_str());
}

void SkyPlot(Page& page, const QcReport& report, const Layout& layout) {
  const Sky sky{1040.0, layout.panels_top + kPanelHeight / 2 + 10, 120.0};
  PanelTitle(page, sky.cx - sky.radius - 20, layout.panels_top - 24, "Sky plot (tracked)");
  if (report.picture.sky.empty()) {
    page.Text(sky.cx, sky.cy, "needs ephemerides and a position", " text-anchor=\"middle\"");
    return;
  }
  SkyGrid(page, sky, report.session.elevation_mask);
  std::size_t colour = 0;
  for (const QcPicture::SkyTrack& track : report.picture.sky)
    SkyTrackLine(page, sky, track, kTrackColours[colour++ % std::size(kTrackColours)]);
  page.Text(sky.cx, sky.cy + sky.radius + 30, "PRN at the end of its track; dashed: elevation mask",
            " text-anchor=\"middle\" fill=\"#606060\"");
}

}  // namespace

std::string QcReportSvg(const QcReport& report) {
  const Layout layout = LayoutOf(report);
  Page page;
  OpenPage(page, layout.height);
  Heading(page, report.session);
  Timeline(page, report, layout);
  const Chart chart = Grouped(report.picture);
  SatellitesPanel(page, report.picture, chart, layout);
  MultipathPanel(page, report.picture, chart, layout);
  SkyPlot(page, report, layout);
  page.out += "</svg>\n";
  return page.out;
}

}  // namespace morvelin
