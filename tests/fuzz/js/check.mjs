// What every decoded picture must hold, whatever bytes it came from.

export function checkPlanes(img) {
  const { width, height, planes } = img;
  if (!(width > 0 && height > 0) || !planes.length) throw new Error(`a decoded picture of ${width} × ${height}, ${planes.length} planes`);
  for (const p of planes) {
    if (!(p.w > 0 && p.h > 0) || p.w > width || p.h > height || p.data.length !== p.w * p.h) {
      throw new Error(`a ${p.w} × ${p.h} plane (${p.data.length} bytes) of a ${width} × ${height} picture`);
    }
  }
}
