// The yardstick of bench_corpus: another project's Specctra reader (the npm
// package dsn-converter, installed under PEER_DIR/node_modules) parses every
// .dsn under FOLDER, each design REPEAT times, in one node process. Prints
// one line: "peer SECONDS BYTES DESIGNS FAILED", SECONDS the sum over the
// designs of each one's fastest parse in processor time.
//
//   node peer_corpus.mjs PEER_DIR FOLDER [REPEAT]
import fs from "fs";
import path from "path";
import { pathToFileURL } from "url";

const [peerDir, folder, repeatText] = process.argv.slice(2);
const repeat = Math.max(1, Number(repeatText ?? 1));
const entry = path.join(peerDir, "node_modules", "dsn-converter", "dist", "index.js");
const { parseDsnToDsnJson } = await import(pathToFileURL(entry).href);

const files = [];
const walk = (dir) => {
  for (const e of fs.readdirSync(dir, { withFileTypes: true })) {
    const p = path.join(dir, e.name);
    if (e.isDirectory()) walk(p);
    else if (e.isFile() && e.name.endsWith(".dsn")) files.push(p);
  }
};
walk(folder);
files.sort();

let seconds = 0;
let bytes = 0;
let failed = 0;
for (const file of files) {
  const text = fs.readFileSync(file, "utf8");
  bytes += Buffer.byteLength(text);
  let best = Infinity;
  for (let run = 0; run < repeat; ++run) {
    const start = process.cpuUsage();
    try {
      parseDsnToDsnJson(text);
    } catch {
      if (run === 0) failed++;
    }
    const used = process.cpuUsage(start);
    best = Math.min(best, (used.user + used.system) / 1e6);
  }
  seconds += best;
}
console.log(`peer ${seconds} ${bytes} ${files.length} ${failed}`);
