#pragma once
// Counting pixels of a rendered picture.
#include <QImage>

#include <functional>

// Pixels of `r`, clipped to the picture, for which `hit(x, y)` holds.
inline int CountIn(const QImage& img, const QRect& r, const std::function<bool(int, int)>& hit) {
  const QRect c = r.intersected(img.rect());
  int n = 0;
  for (int y = c.top(); y <= c.bottom(); ++y)
    for (int x = c.left(); x <= c.right(); ++x) n += hit(x, y);
  return n;
}

inline int CountColour(const QImage& img, QRgb colour, const QRect& r) {
  return CountIn(img, r, [&](int x, int y) { return img.pixel(x, y) == colour; });
}
