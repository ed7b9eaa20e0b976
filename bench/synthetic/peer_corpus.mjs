// The yardstick of bench_corpus: another project's Specctra reader (the npm
// package dsn-converter, installed under PEER_DIR/node_modules) reads every
// .dsn under FOLDER in one node process, REPEAT passes over the whole folder.
// READ names what it does with a design's text:
//   circuit  its whole reading, the text parsed and turned into its circuit
//            model (parseDsnToCircuitJson), as its users read a design;
//   parse    the first half alone, the text parsed into its own tree of the
//            design file (parseDsnToDsnJson).
// The texts are loaded before the first pass. Prints, for every pass,
// "pass N WALL_SECONDS" (the wall clock over the whole folder, the first
// pass with the compiler still warming up, as a batch run starts), and for
// every design "design CPU_SECONDS WALL_SECONDS REFUSED PATH" (PATH under
// FOLDER): its fastest
// pass in processor time, its wall time in the first pass, and 1 when the
// reader threw on it.
//
//   node peer_corpus.mjs PEER_DIR FOLDER [REPEAT] [circuit|parse]
import fs from "fs";
import path from "path";
import { pathToFileURL } from "url";

const [peerDir, folder, repeatText, readText] = process.argv.slice(2);
const repeat = Math.max(1, Number(repeatText ?? 1));
const read = readText ?? "circuit";
if (read !== "circuit" && read !== "parse") {
  console.error(`peer_corpus.mjs: READ is circuit or parse, not ${read}`);
  process.exit(2);
}
const entry = path.join(peerDir, "node_modules", "dsn-converter", "dist", "index.js");
const converter = await import(pathToFileURL(entry).href);
const readDesign =
  read === "circuit" ? converter.parseDsnToCircuitJson : converter.parseDsnToDsnJson;

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
const texts = files.map((file) => fs.readFileSync(file, "utf8"));

const best = files.map(() => Infinity);
const firstWall = files.map(() => 0);
const refused = files.map(() => 0);
// The reader logs to the console on some designs: those lines would mix
// with the ones bench_corpus reads.
const log = console.log;
const quiet = () => {};
for (let pass = 0; pass < repeat; ++pass) {
  console.log = quiet;
  console.warn = quiet;
  const passStart = process.hrtime.bigint();
  for (let i = 0; i < files.length; ++i) {
    const wallStart = process.hrtime.bigint();
    const start = process.cpuUsage();
    try {
      readDesign(texts[i]);
    } catch {
      refused[i] = 1;
    }
    const used = process.cpuUsage(start);
    best[i] = Math.min(best[i], (used.user + used.system) / 1e6);
    if (pass === 0) firstWall[i] = Number(process.hrtime.bigint() - wallStart) / 1e9;
  }
  const wall = Number(process.hrtime.bigint() - passStart) / 1e9;
  console.log = log;
  console.log(`pass ${pass} ${wall}`);
}
for (let i = 0; i < files.length; ++i)
  console.log(`design ${best[i]} ${firstWall[i]} ${refused[i]} ${path.relative(folder, files[i])}`);
