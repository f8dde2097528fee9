// A PNG decoder for what the tests read: 8-bit RGB or RGBA, not interlaced (demo-capture's frames
// and Chromium's screenshots). Gives { width, height, channels, data } with rows unfiltered.
import { inflateSync } from 'node:zlib';

export function decodePng(file) {
  if (file.readUInt32BE(0) !== 0x89504e47) throw new Error('not a PNG file');
  let width = 0, height = 0, channels = 0;
  const idat = [];
  for (let at = 8; at < file.length;) {
    const length = file.readUInt32BE(at), type = file.toString('latin1', at + 4, at + 8);
    const body = file.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      const depth = body[8], colour = body[9], interlace = body[12];
      if (depth !== 8 || (colour !== 2 && colour !== 6) || interlace !== 0)
        throw new Error(`PNG of depth ${depth}, colour type ${colour}, interlace ${interlace}: not read here`);
      channels = colour === 2 ? 3 : 4;
    } else if (type === 'IDAT') {
      idat.push(body);
    }
    at += 12 + length;
  }
  const raw = inflateSync(Buffer.concat(idat));
  const stride = width * channels, data = Buffer.alloc(stride * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)], line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const out = data.subarray(y * stride, (y + 1) * stride), up = y ? data.subarray((y - 1) * stride, y * stride) : null;
    for (let i = 0; i < stride; ++i) {
      const a = i >= channels ? out[i - channels] : 0, b = up ? up[i] : 0, c = up && i >= channels ? up[i - channels] : 0;
      let v;
      switch (filter) {
        case 0: v = 0; break;
        case 1: v = a; break;
        case 2: v = b; break;
        case 3: v = (a + b) >> 1; break;
        case 4: {
          const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
          v = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
        default: throw new Error(`PNG row filter ${filter}`);
      }
      out[i] = (line[i] + v) & 255;
    }
  }
  return { width, height, channels, data };
}
