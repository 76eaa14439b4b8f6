#include "ui/map_widget.h"

#include <time.h>
#include <QHelpEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QStaticText>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/store_lock.h"
#include "core/text.h"
#include "map/base_map.h"
#include "params/param_store.h"
#include "processing/poi_store.h"
#include "resources/dialog_templates.h"
#include "resources/string_ids.h"
#include "ui/framework/qt_text.h"
#include "ui/ui_resources.h"

namespace tarvik {
namespace {

constexpr double kFrameMs = 16;  // a frame time at 60 Hz
constexpr int kRetryMs = 50;     // the POI store was held: the next try
constexpr int kMinDrawPixels = 3;

using Clock = std::chrono::steady_clock;

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

QColor Color(Argb c) {
  return QColor::fromRgba(c);
}

bool SameView(const MapView& a, const MapView& b) {
  return a.centerX == b.centerX && a.centerY == b.centerY && a.scale == b.scale &&
         a.Aspect() == b.Aspect() && a.width == b.width && a.height == b.height;
}

// The picture `m` into `to` (the painter's coordinates), unsmoothed. Where the painter draws
// straight into a picture of 32-bit colours at whole pixels, as into a window's backing store
// or the target of QWidget::render, the colours are written there, within the painter's clip:
// Qt's own path hands the indices to a pool of threads to convert, at four times the CPU.
void DrawIndexed(QPainter& p, IndexedImage& m, const QRectF& to) {
  QPaintEngine* engine = p.paintEngine();
  QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
  const QTransform t = p.deviceTransform();
  const QImage* target = device && device->devType() == QInternal::Image
                             ? static_cast<const QImage*>(device)
                             : nullptr;
  const bool direct =
      target && engine->type() == QPaintEngine::Raster && !p.hasClipping() &&
      p.compositionMode() == QPainter::CompositionMode_SourceOver && p.opacity() == 1 &&
      t.type() <= QTransform::TxTranslate && t.dx() == std::round(t.dx()) &&
      t.dy() == std::round(t.dy()) &&
      (target->format() == QImage::Format_RGB32 || target->format() == QImage::Format_ARGB32 ||
       target->format() == QImage::Format_ARGB32_Premultiplied);
  if (!direct) {
    // Over the frame's own bytes (writable, so that the colour table is set without a copy).
    QImage image(m.Row(0), m.Width(), m.Height(), m.Width(), QImage::Format_Indexed8);
    image.setColorTable(QList<QRgb>(m.Palette(), m.Palette() + 256));
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(to, image);
    return;
  }
  // The device pixels whose centres lie in `to`, each taking the picture's pixel under its
  // centre. The palette is opaque: the same words in all three formats. The last frame
  // scaled to a view zoomed far in spans far more pixels than the device has.
  const QRectF d = t.mapRect(to);
  if (!std::isfinite(d.left()) || !std::isfinite(d.top()) || !(d.width() > 0) ||
      !(d.height() > 0) || !std::isfinite(d.width()) || !std::isfinite(d.height()))
    return;
  auto edge = [](double v, int most) {
    return static_cast<int>(std::clamp(std::round(v), 0.0, static_cast<double>(most)));
  };
  const QRect bounds(
      QPoint(edge(d.left(), target->width()), edge(d.top(), target->height())),
      QPoint(edge(d.right(), target->width()) - 1, edge(d.bottom(), target->height()) - 1));
  const QRegion clip = engine->systemClip();
  const QRegion region = clip.isEmpty() ? QRegion(bounds) : clip & bounds;
  if (region.isEmpty()) return;
  // Drawn at its size: at a whole offset (the translation is whole).
  const bool whole = d.width() == m.Width() && d.height() == m.Height();
  const int left = static_cast<int>(d.left()), top = static_cast<int>(d.top());
  auto source = [](int to, double from, double size, int pixels) {
    const double at = std::floor((to + 0.5 - from) * pixels / size);
    return static_cast<int>(std::clamp(at, 0.0, pixels - 1.0));
  };
  std::vector<int> columns;
  if (!whole) {
    columns.resize(static_cast<std::size_t>(bounds.width()));
    for (int x = bounds.left(); x <= bounds.right(); ++x)
      columns[static_cast<std::size_t>(x - bounds.left())] =
          source(x, d.left(), d.width(), m.Width());
  }
  const Argb* palette = m.Palette();
  // The bits the painter draws into: it took them from the image when it began.
  auto* bits = const_cast<uchar*>(target->constBits());
  for (const QRect& r : region) {
    for (int y = r.top(); y <= r.bottom(); ++y) {
      auto* row =
          reinterpret_cast<QRgb*>(bits + static_cast<std::size_t>(y) * target->bytesPerLine());
      const std::uint8_t* from =
          m.Row(whole ? y - top : source(y, d.top(), d.height(), m.Height()));
      if (whole) {
        for (int x = r.left(); x <= r.right(); ++x) row[x] = palette[from[x - left]];
      } else {
        for (int x = r.left(); x <= r.right(); ++x)
          row[x] = palette[from[columns[static_cast<std::size_t>(x - bounds.left())]]];
      }
    }
  }
}

std::span<const PoiRecord> Records(const CPoiStore& store) {
  const PoiData* d = store.data;
  return d && d->records ? std::span<const PoiRecord>(d->records, d->recordCount)
                         : std::span<const PoiRecord>();
}

}  // namespace

// Texts the map drew, laid out once: city names come back frame after frame, and laying them
// out again took more of a frame than drawing them.
class MapWidget::TextCache {
 public:
  struct Entry {
    int width = 0;
    std::optional<QStaticText> text;
  };
  // Before a paint in `font`: what another font laid out goes.
  void Use(const QFont& font) {
    if (font == font_ && entries_.size() <= kMost) return;
    entries_.clear();
    font_ = font;
  }
  // The entry of `text`; its width is measured on the way in.
  Entry& Find(std::u16string_view text) {
    if (auto at = entries_.find(text); at != entries_.end()) return at->second;
    Entry& e = entries_[std::u16string(text)];
    e.width = QFontMetrics(font_).horizontalAdvance(ToQString(text));
    return e;
  }

 private:
  static constexpr std::size_t kMost = 4096;  // more: a new start, so it never grows unbounded
  // Looked up by a view of the text, without a copy.
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view s) const {
      return std::hash<std::u16string_view>()(s);
    }
  };
  QFont font_;
  std::unordered_map<std::u16string, Entry, Hash, std::equal_to<>> entries_;
};

namespace {

// The map canvas over Qt's painter, in the small font of the dialogs.
class PainterCanvas : public MapCanvas {
 public:
  PainterCanvas(QPainter& p, const UiResources* ui, MapWidget::TextCache& texts)
      : p_(p), ui_(ui), texts_(texts), fm_(p.font()) {
    texts_.Use(p.font());
  }

  void FillRect(int x, int y, int w, int h, Argb color) override {
    p_.fillRect(QRect(x, y, w, h), Color(color));
  }
  void Frame(int x, int y, int w, int h, Argb color, int thickness, bool dashed) override {
    QPen pen(Color(color), thickness);
    pen.setStyle(dashed ? Qt::DashLine : Qt::SolidLine);
    pen.setJoinStyle(Qt::MiterJoin);
    p_.setPen(pen);
    p_.setBrush(Qt::NoBrush);
    // The pen's middle runs half its width inside the edges.
    const double half = thickness / 2.0;
    p_.drawRect(QRectF(x + half, y + half, w - thickness, h - thickness));
  }
  void Text(int x, int y, std::u16string_view text, Argb color) override {
    MapWidget::TextCache::Entry& e = texts_.Find(text);
    if (!e.text) {
      e.text.emplace(ToQString(text));
      e.text->setTextFormat(Qt::PlainText);
      e.text->setPerformanceHint(QStaticText::AggressiveCaching);
    }
    p_.setPen(Color(color));
    p_.drawStaticText(QPoint(x, y), *e.text);
  }
  int TextWidth(std::u16string_view text) override { return texts_.Find(text).width; }
  int LineHeight() override { return fm_.height(); }
  void Lock(int x, int y, int size) override {
    if (ui_) p_.drawPixmap(x, y, ui_->Icon(ICON_LOCKED).pixmap(size, size));
  }

 private:
  QPainter& p_;
  const UiResources* ui_;
  MapWidget::TextCache& texts_;
  QFontMetrics fm_;
};

}  // namespace

// ---- the render thread ----

class MapWidget::Frames {
 public:
  struct Frame {
    explicit Frame(CAppContext* context) : image(context) {}
    IndexedImage image;  // the geography's lines in it
    std::shared_ptr<const CityList> cities;
    bool noGeography = false;  // the base map is on, but no GSHHG files are installed
    bool baseOn = false;       // the picture is as the geography's switch asks
    MapView view;
    DensityStats stats;
    std::vector<std::uint32_t> typeCounts;
    double ms = 0;
    double cpuMs = 0;  // of the render thread: wall time says little on a busy machine
  };
  enum class Result { None, Frame, Busy };

  // `ready` is called on the render thread after each frame or busy answer.
  Frames(CAppContext* context, std::function<void()> ready)
      : context_(context),
        ready_(std::move(ready)),
        layer_(context),
        base_(context),
        lines_(context) {
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      throw std::bad_alloc();  // no memory for its stack: as any other allocation that fails
    }
  }
  ~Frames() { Stop(); }

  void Stop() {
    {
      std::lock_guard<std::mutex> g(m_);
      stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  void SetSource(CPoiStore* store, std::vector<std::int32_t> types) {
    std::lock_guard<std::mutex> g(m_);
    store_ = store;
    types_ = std::move(types);
    typesChanged_ = true;
  }

  void SetBaseMap(bool on) {
    std::lock_guard<std::mutex> g(m_);
    baseOn_ = on;
  }

  // Replaces a frame that has not started.
  void Request(const MapView& view) {
    {
      std::lock_guard<std::mutex> g(m_);
      job_ = view;
    }
    cv_.notify_all();
  }

  // Waits until a frame or a busy answer is there to take, or nothing is to do, at most
  // until `until`; true when so.
  bool WaitReady(Clock::time_point until) {
    std::unique_lock<std::mutex> g(m_);
    return cv_.wait_until(g, until,
                          [this] { return stop_ || fresh_ || busy_ || (!job_ && !running_); });
  }
  // Whether a requested frame is still to come.
  bool Pending() {
    std::lock_guard<std::mutex> g(m_);
    return !stop_ && (job_ || running_);
  }

  // On the window thread: the finished frame into `front`, whose old picture the render
  // thread then draws the next one into.
  Result Take(std::unique_ptr<Frame>& front) {
    std::unique_lock<std::mutex> g(m_);
    if (fresh_) {
      fresh_ = false;
      busy_ = false;
      std::swap(front, back_);
      g.unlock();
      cv_.notify_all();
      return Result::Frame;
    }
    if (busy_) {
      busy_ = false;
      return Result::Busy;
    }
    return Result::None;
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> g(m_);
    for (;;) {
      // A finished frame not taken yet holds the picture the next one is drawn into.
      cv_.wait(g, [this] { return stop_ || (job_ && !fresh_); });
      if (stop_) return;
      const MapView view = *job_;
      job_.reset();
      running_ = true;
      CPoiStore* store = store_;
      const bool baseOn = baseOn_;
      // The frame on show is the one drawn last (the next is drawn only once it is taken),
      // and the window only reads it: a pan copies what it still shows.
      const Frame* last = front.get();
      std::vector<std::int32_t> types;
      const bool typesChanged = typesChanged_;
      if (typesChanged) types.swap(types_);
      typesChanged_ = false;
      g.unlock();

      bool busy = false;
      // Memory that runs out on this thread must not end the program: the frame comes out
      // empty (or, without a picture to draw into, as if the store were held: tried again).
      try {
        if (typesChanged) layer_.SetTypes(types);
        if (!back_) back_ = std::make_unique<Frame>(context_);
        const Clock::time_point t0 = Clock::now();
        const double cpu0 = ThreadCpuMs();
        Frame& f = *back_;
        FreshPixels fresh;
        {
          StoreHold<CPoiStore> hold(store, StoreHold<CPoiStore>::Try);
          busy = store && !hold;
          if (!busy) {
            f.view = view;
            f.typeCounts.clear();
            const std::span<const PoiRecord> records =
                store ? Records(*store) : std::span<const PoiRecord>();
            DensityLayer::Previous previous;
            if (last && last->baseOn == baseOn) previous.image = &last->image;
            previous.stamp = store && store->data ? store->data->recordsStamp : 0;
            if (!layer_.Render(records, view, f.image, f.stats, previous, fresh))
              f.image.Resize(0, 0);
            const std::span<const std::uint32_t> counts = layer_.TypeCounts();
            f.typeCounts.assign(counts.begin(), counts.end());
          }
        }
        if (!busy) {
          Geography(baseOn, view, f, fresh);
          f.ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
          f.cpuMs = ThreadCpuMs() - cpu0;
        }
      } catch (const std::bad_alloc&) {
        if (back_) {
          back_->image.Resize(0, 0);
        } else {
          busy = true;
        }
      }

      g.lock();
      running_ = false;
      if (busy) {
        busy_ = true;
      } else {
        fresh_ = true;
      }
      cv_.notify_all();
      g.unlock();
      ready_();
      g.lock();
    }
  }

  // The geography's lines into the `fresh` pixels of the picture of `f` (the others have
  // them), and its cities; the files are opened on the first frame.
  void Geography(bool on, const MapView& view, Frame& f, const FreshPixels& fresh) {
    f.cities.reset();
    f.noGeography = false;
    f.baseOn = !on;  // until its lines are in: a frame without them is not built on
    if (!on || f.image.Width() == 0) {
      f.baseOn = on;
      return;
    }
    try {
      if (!baseOpen_) {
        baseOpen_ = true;
        base_.Open(DefaultGshhgDir(), DefaultCitiesPath());
      }
    } catch (const std::bad_alloc&) {
      return;  // the frame without it
    }
    if (base_.Lines(view, lines_)) {
      DrawBaseLines(f.image, lines_, fresh);
      f.baseOn = on;
    }
    f.cities = base_.Cities();
    f.noGeography = !base_.HasLines();
  }

  CAppContext* context_;
  std::function<void()> ready_;
  std::mutex m_;
  std::condition_variable cv_;
  bool stop_ = false;
  bool running_ = false;
  std::optional<MapView> job_;
  CPoiStore* store_ = nullptr;
  std::vector<std::int32_t> types_;
  bool typesChanged_ = false;
  bool baseOn_ = true;
  bool fresh_ = false;  // back_ is finished: the window's to take
  bool busy_ = false;
  // The render thread's while !fresh_. Two pictures in all, this and the one on show: the
  // window takes a finished frame as soon as its event loop runs.
  std::unique_ptr<Frame> back_;
  DensityLayer layer_;
  BaseMap base_;  // the render thread's
  bool baseOpen_ = false;
  BaseLines lines_;  // a frame's, kept for the next
  std::thread thread_;

 public:
  // The window thread's own: the frame on show, and how many came.
  std::unique_ptr<Frame> front;
  unsigned frames = 0;
};

// ---- the widget ----

MapWidget::MapWidget(CAppContext* context, QWidget* parent) : QWidget(parent), context_(context) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::ClickFocus);
  setAccessibleName(LoadQString(STR_MAP_TITLE));
  setAccessibleDescription(LoadQString(STR_A11Y_MAP));
  if (const UiResources* ui = Ui(context)) setFont(ui->fontSmall);
  texts_ = std::make_unique<TextCache>();
  frames_ = std::make_unique<Frames>(context, [this] {
    QMetaObject::invokeMethod(
        this, [this] { TakeFrame(); }, Qt::QueuedConnection);
  });
  view_.width = width();
  view_.height = height();
}

MapWidget::~MapWidget() {
  Stop();
}

void MapWidget::Stop() {
  if (frames_) frames_->Stop();
}

void MapWidget::SetSource(CPoiStore* store, MapSchema schema) {
  store_ = store;
  schema_ = std::move(schema);
  frames_->SetSource(store, schema_.types);
  for (MapArea& a : areas_) a.count.reset();
  RequestFrame();
}

void MapWidget::SetBaseMap(bool on) {
  frames_->SetBaseMap(on);
  RequestFrame();
}

void MapWidget::SetView(const MapView& view) {
  view_ = view;
  view_.width = width();
  view_.height = height();
  view_ = Clamped(view_);
  fitPending_ = false;
  RequestFrame();
}

void MapWidget::ShowAll() {
  fitPending_ = true;
  TryFit();
}

void MapWidget::TryFit() {
  if (!fitPending_ || width() <= 0 || height() <= 0) return;
  std::vector<MapAreaMark> enabled;
  for (const MapArea& a : areas_)
    enabled.push_back({a.corners.AX, a.corners.AY, a.corners.CX, a.corners.CY, {}, a.param});
  GeoBox box;
  if (store_) {
    if (!TryEnterStore(*store_)) return RetryLater(true);
    box = HomeBox(Records(*store_), enabled);
    LeaveStore(*store_);
  } else {
    box = HomeBox({}, enabled);
  }
  fitPending_ = false;
  view_ = HomeView(box, width(), height(), fontMetrics().height());
  RequestFrame();
}

void MapWidget::RetryLater(bool fit) {
  retryFit_ = retryFit_ || fit;
  if (retryScheduled_) return;
  retryScheduled_ = true;
  QTimer::singleShot(kRetryMs, this, [this] {
    retryScheduled_ = false;
    const bool fit = retryFit_;
    retryFit_ = false;
    if (fit) TryFit();
    RequestFrame();
  });
}

void MapWidget::RequestFrame() {
  if (!frames_) return;
  frames_->Request(view_);
  // Frames that come within a frame time are waited for, so the picture never lags the
  // mouse; slower ones arrive when ready.
  const Frames::Frame* f = frames_->front.get();
  if (!f || f->ms <= kFrameMs) {
    const Clock::time_point until =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double, std::milli>(kFrameMs));
    // A frame finished for an earlier view is taken on the way: the next one is drawn into
    // the picture it gives back.
    while (frames_->WaitReady(until)) {
      TakeFrame();
      if (!frames_->Pending()) break;
    }
  }
  update();
}

void MapWidget::TakeFrame() {
  if (!frames_) return;
  switch (frames_->Take(frames_->front)) {
    case Frames::Result::Frame: {
      ++frames_->frames;
      const Frames::Frame& f = *frames_->front;
      legend_ = f.stats.dots ? MakeLegend(schema_, f.typeCounts) : std::vector<LegendEntry>();
      update();
      break;
    }
    case Frames::Result::Busy:
      RetryLater(false);
      break;
    case Frames::Result::None:
      break;
  }
}

MapWidget::FrameInfo MapWidget::LastFrame() const {
  FrameInfo info;
  if (!frames_ || !frames_->front) return info;
  const Frames::Frame& f = *frames_->front;
  info.view = f.view;
  info.stats = f.stats;
  info.ms = f.ms;
  info.cpuMs = f.cpuMs;
  info.frames = frames_->frames;
  info.current = SameView(f.view, view_);
  return info;
}

void MapWidget::resizeEvent(QResizeEvent*) {
  view_.width = width();
  view_.height = height();
  if (fitPending_) {
    TryFit();
  } else {
    RequestFrame();
  }
}

// ---- painting ----

void MapWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  DensityStats stats;
  Frames::Frame* f = frames_ ? frames_->front.get() : nullptr;
  // A frame for the view covers every pixel; the background shows only around another.
  if (!f || !SameView(f->view, view_) || f->image.Width() != width() ||
      f->image.Height() != height())
    p.fillRect(rect(), Color(map_colors::kBackground));
  if (f && f->image.Width() > 0) {
    IndexedImage& m = f->image;
    if (SameView(f->view, view_)) {
      DrawIndexed(p, m, QRectF(0, 0, m.Width(), m.Height()));
    } else {
      // The last frame where its corners lie in the new view, until the new one comes.
      const PixelPoint tl = view_.ToPixel(f->view.ToGeo({0, 0}));
      const PixelPoint br = view_.ToPixel(f->view.ToGeo({double(m.Width()), double(m.Height())}));
      DrawIndexed(p, m, QRectF(QPointF(tl.x, tl.y), QPointF(br.x, br.y)));
    }
    stats = f->stats;
  }

  std::vector<MapAreaMark> marks;
  marks.reserve(areas_.size() + 1);
  for (std::size_t i = 0; i < areas_.size(); ++i) {
    const MapArea& a = areas_[i];
    const bool lit = static_cast<int>(i) == hover_ || static_cast<int>(i) == reshaped_;
    marks.push_back({a.corners.AX, a.corners.AY, a.corners.CX, a.corners.CY, a.name, a.param, lit});
  }
  if (drag_ == Drag::Draw) {
    const AreaCorners c = CornersFromDrag(drawFrom_, drawTo_);
    marks.push_back({c.AX, c.AY, c.CX, c.CY, {}, PARAM_ENABLED, true});
  }
  PainterCanvas canvas(p, Ui(context_), *texts_);
  const std::u16string note = f && f->noGeography ? StrLoad(STR_MAP_NO_GSHHG) : std::u16string();
  DrawMapOverlay(canvas, view_, {marks, legend_, stats, f ? f->cities.get() : nullptr, note});
}

// ---- the mouse ----

int MapWidget::AreaAt(PixelPoint p, AreaPart& part) const {
  int best = -1;
  double bestSize = INFINITY;
  part = AreaPart::None;
  for (int i = static_cast<int>(areas_.size()) - 1; i >= 0; --i) {
    const AreaCorners& c = areas_[static_cast<std::size_t>(i)].corners;
    const AreaPart hit = HitTest(view_, c, p);
    if (hit == AreaPart::None) continue;
    if (hit != AreaPart::Inside) {
      part = hit;
      return i;
    }
    const PixelPoint a = view_.ToPixel({c.AX, c.AY}), b = view_.ToPixel({c.CX, c.CY});
    const double size = std::fabs((b.x - a.x) * (b.y - a.y));
    if (size < bestSize) {
      bestSize = size;
      best = i;
      part = AreaPart::Inside;
    }
  }
  return best;
}

void MapWidget::UpdateCursor(PixelPoint p, Qt::KeyboardModifiers modifiers) {
  if (drawMode_ || (modifiers & Qt::ShiftModifier)) {
    setCursor(Qt::CrossCursor);
    return;
  }
  AreaPart part = AreaPart::None;
  const int i = AreaAt(p, part);
  const bool locked = i >= 0 && (areas_[static_cast<std::size_t>(i)].param & PARAM_LOCKED);
  Qt::CursorShape shape = Qt::OpenHandCursor;
  if (!locked) {
    switch (part) {
      case AreaPart::West:
      case AreaPart::East:
        shape = Qt::SizeHorCursor;
        break;
      case AreaPart::North:
      case AreaPart::South:
        shape = Qt::SizeVerCursor;
        break;
      case AreaPart::NorthWest:
      case AreaPart::SouthEast:
        shape = Qt::SizeFDiagCursor;
        break;
      case AreaPart::NorthEast:
      case AreaPart::SouthWest:
        shape = Qt::SizeBDiagCursor;
        break;
      default:
        break;
    }
  }
  setCursor(shape);
}

void MapWidget::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || drag_ != Drag::None) return;
  const PixelPoint p{e->position().x(), e->position().y()};
  if (drawMode_ || (e->modifiers() & Qt::ShiftModifier)) {
    drag_ = Drag::Draw;
    drawFrom_ = drawTo_ = view_.ToGeo(p);
    update();
    return;
  }
  AreaPart part = AreaPart::None;
  const int i = AreaAt(p, part);
  if (i >= 0 && part != AreaPart::Inside &&
      !(areas_[static_cast<std::size_t>(i)].param & PARAM_LOCKED)) {
    drag_ = Drag::Reshape;
    reshaped_ = i;
    reshapedPart_ = part;
    update();
    return;
  }
  drag_ = Drag::Pan;
  // The drag moves the picture as it is: each frame of it then only draws what it uncovers.
  if (!view_.aspectLatitude) view_.aspectLatitude = view_.centerY;
  grabbed_ = view_.ToGeo(p);
  setCursor(Qt::ClosedHandCursor);
}

void MapWidget::mouseMoveEvent(QMouseEvent* e) {
  const PixelPoint p{e->position().x(), e->position().y()};
  const GeoPoint g = view_.ToGeo(p);
  switch (drag_) {
    case Drag::Pan:
      if (!view_.aspectLatitude) view_.aspectLatitude = view_.centerY;  // a wheel turned
      view_ = Anchored(view_, grabbed_, p);
      RequestFrame();
      break;
    case Drag::Draw:
      drawTo_ = g;
      update();
      break;
    case Drag::Reshape: {
      MapArea& a = areas_[static_cast<std::size_t>(reshaped_)];
      a.corners = DragPart(a.corners, reshapedPart_, g);
      // The drag may have carried an edge over its opposite: follow the part it became.
      AreaPart part = HitTest(view_, a.corners, p);
      if (part != AreaPart::None && part != AreaPart::Inside) reshapedPart_ = part;
      a.count.reset();
      update();
      break;
    }
    case Drag::None: {
      AreaPart part = AreaPart::None;
      const int hover = AreaAt(p, part);
      if (hover != hover_) {
        hover_ = hover;
        update();
      }
      UpdateCursor(p, e->modifiers());
      break;
    }
  }
  if (onCursor) onCursor(view_.ToGeo(p));
}

void MapWidget::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const Drag drag = drag_;
  drag_ = Drag::None;
  reshaped_ = -1;
  if (drag == Drag::Draw) {
    drawTo_ = view_.ToGeo({e->position().x(), e->position().y()});
    FinishDrawing();
  }
  UpdateCursor({e->position().x(), e->position().y()}, e->modifiers());
  update();
}

void MapWidget::FinishDrawing() {
  const PixelPoint a = view_.ToPixel(drawFrom_), b = view_.ToPixel(drawTo_);
  const AreaCorners c = CornersFromDrag(drawFrom_, drawTo_);
  update();
  // A click, or a rectangle without room inside, is no area.
  if (std::fabs(a.x - b.x) < kMinDrawPixels || std::fabs(a.y - b.y) < kMinDrawPixels ||
      !(c.AX < c.CX) || !(c.CY < c.AY))
    return;
  // Named or not, the drawing is over: the next plain drag moves the map again.
  if (std::optional<std::u16string> name = askName ? askName() : std::nullopt) {
    MapArea area;
    area.corners = area.original = c;
    area.name = std::move(*name);
    area.param = PARAM_ENABLED;
    areas_.push_back(std::move(area));
  }
  if (drawMode_) {
    drawMode_ = false;
    if (onDrawModeEnded) onDrawModeEnded();
  }
  update();
}

void MapWidget::wheelEvent(QWheelEvent* e) {
  const double notches = e->angleDelta().y() / 120.0;
  if (notches == 0) return;
  // Each notch: the square root of 2, two notches double.
  view_ = ZoomAt(view_, {e->position().x(), e->position().y()}, std::pow(2.0, notches / 2));
  RequestFrame();
  e->accept();
}

void MapWidget::leaveEvent(QEvent*) {
  if (hover_ >= 0) {
    hover_ = -1;
    update();
  }
  if (onCursor) onCursor(std::nullopt);
}

void MapWidget::SetDrawMode(bool on) {
  drawMode_ = on;
  setCursor(on ? Qt::CrossCursor : Qt::OpenHandCursor);
}

// ---- tooltips ----

std::optional<std::uint32_t> MapWidget::CountOf(MapArea& area) {
  if (area.count || !store_) return area.count;
  if (!TryEnterStore(*store_)) return std::nullopt;  // shown without the count this time
  area.count = CountInside(Records(*store_), area.corners, schema_.types);
  LeaveStore(*store_);
  return area.count;
}

std::u16string MapWidget::TipOf(MapArea& area) {
  if (!(area.param & PARAM_ENABLED)) return StrLoad(STR_MAP_AREA_OFF, area.name);
  const std::optional<std::uint32_t> count = CountOf(area);
  return count ? StrLoad(STR_MAP_NAME_COUNT, area.name, *count) : area.name;
}

bool MapWidget::event(QEvent* e) {
  if (e->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(e);
    AreaPart part = AreaPart::None;
    const int i = AreaAt({double(help->pos().x()), double(help->pos().y())}, part);
    if (i >= 0 && drag_ == Drag::None) {
      QToolTip::showText(help->globalPos(), ToQString(TipOf(areas_[static_cast<std::size_t>(i)])),
                         this);
    } else {
      QToolTip::hideText();
      e->ignore();
    }
    return true;
  }
  return QWidget::event(e);
}

}  // namespace tarvik
