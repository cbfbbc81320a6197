#!/usr/bin/env node
// match.mjs - play games between two UCI engines, judge every move with
// chess.js, and count engine faults (illegal/unparsable moves, crashes,
// missing bestmoves, time forfeits, unresponsive engines) by category.
//
// Usage: node match.mjs --help

import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { performance } from 'node:perf_hooks';
import { fileURLToPath } from 'node:url';
import { Chess, validateFen } from 'chess.js';

export const VERSION = '0.1.0';
export const START_FEN = 'rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1';
export const FAULT_CATEGORIES = [
  'illegal_move', // well-formed move text that is not legal here (null moves included)
  'unparsable_move', // bestmove line without a readable move
  'crash', // the engine process ended during a game (or during start-up)
  'no_bestmove', // no bestmove within the limit, nor within the grace period after "stop"
  'time_forfeit', // bestmove came, but after the clock (plus margin) ran out
  'unresponsive', // no uciok / readyok in time, or the process could not be started
];
const MATE_CP = 100000;

const HELP = `match.mjs ${VERSION} - UCI engine match runner judged by chess.js

node match.mjs --engine KEY=VALUE... --engine KEY=VALUE... [limits] [options]

Engine keys (after --engine; --each KEY=VALUE... applies to both engines):
  cmd=PATH            executable (a name without "/" is looked up in PATH,
                      a path with "/" is resolved against the current dir)
  name=NAME           name in PGN and reports (default: the engine's "id name")
  dir=DIR             working directory of the engine process
  arg=ARG             command-line argument for the engine (repeatable)
  option.NAME=VALUE   UCI option, sent as "setoption name NAME value VALUE";
                      NAME may contain spaces: "option.Skill Level=5";
                      an empty VALUE sends a button ("option.Clear Hash=")
  tc= movetime= nodes= depth=   per-engine limits (replace the global ones)

Limits (at least one):
  --tc [MOVES/]BASE[+INC]   clock in seconds, e.g. 10+0.1, 40/60, 1:30+1
  --movetime MS             fixed time per move in milliseconds
  --nodes N                 go nodes N (may be combined with --tc or --depth)
  --depth N                 go depth N (may be combined with --tc or --nodes)
  --timemargin MS           tolerance before a time forfeit (default 50)

Games:
  --games N                 number of games (default 2); openings are played
                            in pairs with colours swapped
  --no-swap                 play each opening once, engine 1 with white
  --openings FILE           EPD/FEN file, one position per line (# comments)
  --seed N                  shuffle the opening order with this seed
  --concurrency N           games played at once (default 1)
  --restart                 start fresh engine processes for every game
  --draw-adjudicate moves=N score=CP [movenumber=M]
                            draw when both engines report |score| <= CP for
                            their last N moves (after game move M)
  --resign-adjudicate moves=N score=CP [twosided=true]
                            a side loses when its last N scores are <= -CP
                            (twosided: and the opponent's are >= CP)
  --maxmoves N              adjudicate a draw after N moves per side

Output:
  --pgn FILE                write all games as PGN (overwritten)
  --json FILE               write a JSON summary
  --log FILE                write all UCI traffic with timestamps
  --event NAME --site NAME  PGN tags
  --quiet                   no per-game progress lines
  --fail-on-fault           exit with status 3 when any fault was recorded

Timeouts (milliseconds):
  --uci-timeout MS (10000)  --ready-timeout MS (10000)  --stop-grace MS (1000)
  --move-timeout MS (60000, only for games without clock or movetime)
  --quit-timeout MS (1000, wait for "quit" before killing)
`;

export class UsageError extends Error {}

// ---------------------------------------------------------------- arguments

const VALUE_FLAGS = new Set([
  'tc', 'movetime', 'nodes', 'depth', 'timemargin', 'games', 'openings', 'seed', 'pgn', 'json',
  'concurrency', 'maxmoves', 'uci-timeout', 'ready-timeout', 'stop-grace', 'move-timeout',
  'quit-timeout', 'log', 'event', 'site',
]);
const BOOL_FLAGS = new Set(['no-swap', 'restart', 'quiet', 'fail-on-fault', 'help', 'version']);
const KV_FLAGS = new Set(['engine', 'each', 'draw-adjudicate', 'resign-adjudicate']);
const ENGINE_KEYS = new Set(['cmd', 'name', 'dir', 'tc', 'movetime', 'nodes', 'depth']);

const camel = (s) => s.replace(/-([a-z])/g, (_, c) => c.toUpperCase());

function splitKv(item, where) {
  const eq = item.indexOf('=');
  if (eq <= 0) throw new UsageError(`${where}: expected KEY=VALUE, got "${item}"`);
  return [item.slice(0, eq), item.slice(eq + 1)];
}

function parseEngineKv(list, where) {
  const setup = { args: [], options: [] };
  for (const item of list) {
    const [key, val] = splitKv(item, where);
    if (key.startsWith('option.')) {
      const name = key.slice(7).trim();
      if (!name) throw new UsageError(`${where}: empty option name in "${item}"`);
      setup.options = setup.options.filter(([n]) => n.toLowerCase() !== name.toLowerCase());
      setup.options.push([name, val]);
    } else if (key === 'arg') setup.args.push(val);
    else if (ENGINE_KEYS.has(key)) setup[key] = val;
    else throw new UsageError(`${where}: unknown key "${key}" (known: cmd name dir arg option.NAME tc movetime nodes depth)`);
  }
  return setup;
}

function parseAdjKv(list, where, keys) {
  const out = {};
  for (const item of list) {
    const [key, val] = splitKv(item, where);
    if (!keys.includes(key)) throw new UsageError(`${where}: unknown key "${key}" (known: ${keys.join(' ')})`);
    out[key] = val;
  }
  return out;
}

function toInt(v, what, { min = 0 } = {}) {
  const s = String(v).trim();
  if (!/^-?\d+$/.test(s)) throw new UsageError(`${what}: expected an integer, got "${v}"`);
  const n = Number(s);
  if (!Number.isSafeInteger(n) || n < min) throw new UsageError(`${what}: must be an integer >= ${min}, got "${v}"`);
  return n;
}

export function parseArgs(argv) {
  const o = {
    engineKv: [], each: { args: [], options: [] }, games: 2, concurrency: 1, timemargin: 50,
    uciTimeout: 10000, readyTimeout: 10000, stopGrace: 1000, moveTimeout: 60000, quitTimeout: 1000,
    event: 'match', site: '?', restart: false, quiet: false, failOnFault: false,
  };
  let i = 0;
  while (i < argv.length) {
    const a = argv[i++];
    if (!a.startsWith('--')) throw new UsageError(`unexpected argument "${a}" (engine settings go after --engine)`);
    let flag = a.slice(2);
    let inline = null;
    const eq = flag.indexOf('=');
    if (eq >= 0 && !KV_FLAGS.has(flag.slice(0, eq))) {
      inline = flag.slice(eq + 1);
      flag = flag.slice(0, eq);
    }
    if (KV_FLAGS.has(flag)) {
      const list = [];
      while (i < argv.length && !argv[i].startsWith('--')) list.push(argv[i++]);
      if (flag === 'engine') o.engineKv.push(parseEngineKv(list, `--engine #${o.engineKv.length + 1}`));
      else if (flag === 'each') {
        const e = parseEngineKv(list, '--each');
        for (const [n, v] of e.options) {
          o.each.options = o.each.options.filter(([m]) => m.toLowerCase() !== n.toLowerCase());
          o.each.options.push([n, v]);
        }
        o.each.args.push(...e.args);
        for (const k of ENGINE_KEYS) if (e[k] !== undefined) o.each[k] = e[k];
      } else if (flag === 'draw-adjudicate') {
        const m = parseAdjKv(list, '--draw-adjudicate', ['moves', 'score', 'movenumber']);
        if (m.moves === undefined || m.score === undefined) throw new UsageError('--draw-adjudicate needs moves=N score=CP');
        o.drawAdj = {
          moves: toInt(m.moves, 'draw moves', { min: 1 }),
          score: toInt(m.score, 'draw score'),
          movenumber: m.movenumber === undefined ? 0 : toInt(m.movenumber, 'draw movenumber'),
        };
      } else {
        const m = parseAdjKv(list, '--resign-adjudicate', ['moves', 'score', 'twosided']);
        if (m.moves === undefined || m.score === undefined) throw new UsageError('--resign-adjudicate needs moves=N score=CP');
        o.resignAdj = {
          moves: toInt(m.moves, 'resign moves', { min: 1 }),
          score: toInt(m.score, 'resign score', { min: 1 }),
          twosided: /^(1|true|yes|on)$/i.test(m.twosided ?? ''),
        };
      }
    } else if (VALUE_FLAGS.has(flag)) {
      let v = inline;
      if (v === null) {
        if (i >= argv.length) throw new UsageError(`--${flag} needs a value`);
        v = argv[i++];
      }
      o[camel(flag)] = v;
    } else if (BOOL_FLAGS.has(flag)) {
      if (inline !== null) throw new UsageError(`--${flag} takes no value`);
      o[camel(flag)] = true;
    } else throw new UsageError(`unknown option --${flag} (see --help)`);
  }
  if (o.help || o.version) return o;

  for (const k of ['games', 'concurrency']) o[k] = toInt(o[k], `--${k}`, { min: 1 });
  for (const k of ['timemargin', 'uciTimeout', 'readyTimeout', 'stopGrace', 'moveTimeout', 'quitTimeout'])
    o[k] = toInt(o[k], `--${k.replace(/[A-Z]/g, (c) => '-' + c.toLowerCase())}`);
  if (o.maxmoves !== undefined) o.maxmoves = toInt(o.maxmoves, '--maxmoves', { min: 1 });
  if (o.seed !== undefined) o.seed = toInt(o.seed, '--seed', { min: -(2 ** 31) });

  if (o.engineKv.length !== 2) throw new UsageError(`exactly two --engine groups are needed, got ${o.engineKv.length}`);
  const globalLimits = { tc: o.tc, movetime: o.movetime, nodes: o.nodes, depth: o.depth };
  o.engines = o.engineKv.map((e, idx) => {
    const setup = {
      ...Object.fromEntries([...ENGINE_KEYS].filter((k) => o.each[k] !== undefined).map((k) => [k, o.each[k]])),
      ...Object.fromEntries([...ENGINE_KEYS].filter((k) => e[k] !== undefined).map((k) => [k, e[k]])),
    };
    const opts = [...o.each.options];
    for (const [n, v] of e.options) {
      const j = opts.findIndex(([m]) => m.toLowerCase() === n.toLowerCase());
      if (j >= 0) opts.splice(j, 1);
      opts.push([n, v]);
    }
    setup.options = opts;
    setup.args = [...o.each.args, ...e.args];
    const where = `--engine #${idx + 1}`;
    if (!setup.cmd) throw new UsageError(`${where}: cmd=... is required`);
    if (setup.cmd.includes('/')) setup.cmd = path.resolve(setup.cmd);
    if (setup.dir) setup.dir = path.resolve(setup.dir);
    const own = ['tc', 'movetime', 'nodes', 'depth'].some((k) => e[k] !== undefined || o.each[k] !== undefined);
    setup.limits = buildLimits(own ? setup : globalLimits, own ? where : 'limits');
    return setup;
  });
  return o;
}

export function parseTc(s) {
  const m = /^(?:(\d+)\/)?(?:(\d+):)?(\d+(?:\.\d*)?|\.\d+)(?:\+(\d+(?:\.\d*)?|\.\d+))?$/.exec(String(s).trim());
  if (!m) throw new UsageError(`bad time control "${s}" (expected [MOVES/]BASE[+INC] in seconds, e.g. 10+0.1 or 40/60)`);
  const moves = m[1] ? Number(m[1]) : 0;
  const base = Math.round(((m[2] ? Number(m[2]) * 60 : 0) + parseFloat(m[3])) * 1000);
  const inc = m[4] ? Math.round(parseFloat(m[4]) * 1000) : 0;
  if (base <= 0) throw new UsageError(`time control "${s}": base time must be positive`);
  return { moves, base, inc, text: String(s).trim() };
}

function buildLimits(src, where) {
  const L = {};
  if (src.tc !== undefined) L.tc = parseTc(src.tc);
  if (src.movetime !== undefined) L.movetime = toInt(src.movetime, `${where} movetime`, { min: 1 });
  if (src.nodes !== undefined) L.nodes = toInt(src.nodes, `${where} nodes`, { min: 1 });
  if (src.depth !== undefined) L.depth = toInt(src.depth, `${where} depth`, { min: 1 });
  if (L.tc && L.movetime) throw new UsageError(`${where}: use either a clock (tc) or movetime, not both`);
  if (!L.tc && !L.movetime && !L.nodes && !L.depth)
    throw new UsageError(`${where}: no limit given (use --tc, --movetime, --nodes or --depth)`);
  return L;
}

export function limitsText(L) {
  const p = [];
  if (L.tc) p.push(L.tc.text);
  if (L.movetime) p.push(`movetime=${L.movetime}ms`);
  if (L.nodes) p.push(`nodes=${L.nodes}`);
  if (L.depth) p.push(`depth=${L.depth}`);
  return p.join(',');
}

// ---------------------------------------------------------------- openings

export function epdToFen(line) {
  const f = line.trim().split(/\s+/);
  if (f.length < 4) return line.trim();
  let half = '0';
  let full = '1';
  if (/^\d+$/.test(f[4] ?? '') && /^\d+$/.test(f[5] ?? '')) {
    half = f[4];
    full = f[5];
  } else {
    const rest = f.slice(4).join(' ');
    const hm = /(?:^|[\s;])hmvc\s+(\d+)\s*;/.exec(rest);
    const fm = /(?:^|[\s;])fmvn\s+(\d+)\s*;/.exec(rest);
    if (hm) half = hm[1];
    if (fm) full = fm[1];
  }
  return `${f.slice(0, 4).join(' ')} ${half} ${full}`;
}

export function loadOpenings(file) {
  const text = fs.readFileSync(file, 'utf8');
  const out = [];
  const errors = [];
  text.split(/\r?\n/).forEach((raw, idx) => {
    const line = raw.trim();
    if (!line || line.startsWith('#') || line.startsWith('//')) return;
    const fen = epdToFen(line);
    const v = validateFen(fen);
    if (!v.ok) return errors.push(`line ${idx + 1}: ${v.error}: ${line}`);
    let c;
    try {
      c = new Chess(fen);
    } catch (err) {
      return errors.push(`line ${idx + 1}: ${err.message}: ${line}`);
    }
    if (c.isGameOver()) return errors.push(`line ${idx + 1}: the game is already over in this position: ${line}`);
    out.push({ fen: c.fen(), line: idx + 1 });
  });
  if (errors.length) throw new UsageError(`bad openings file ${file}:\n  ${errors.slice(0, 20).join('\n  ')}`);
  if (!out.length) throw new UsageError(`openings file ${file} holds no positions`);
  return out;
}

function mulberry32(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

export function shuffled(n, seed) {
  const idx = [...Array(n).keys()];
  const rnd = mulberry32(seed);
  for (let i = n - 1; i > 0; i--) {
    const j = Math.floor(rnd() * (i + 1));
    [idx[i], idx[j]] = [idx[j], idx[i]];
  }
  return idx;
}

// ---------------------------------------------------------------- judging

const UCI_MOVE = /^[a-h][1-8][a-h][1-8][qrbn]?$/;

/** Judge a "bestmove ..." line against the legal moves of `chess`. */
export function judgeBestmove(chess, line) {
  const t = line.trim().split(/\s+/);
  if (t[0] !== 'bestmove' || t.length < 2) {
    return { ok: false, category: 'unparsable_move', text: '', detail: `bestmove line without a move: "${line.trim()}"` };
  }
  const text = t[1];
  const legal = chess.moves({ verbose: true });
  const move = legal.find((m) => m.lan === text);
  if (move) return { ok: true, move, text };
  if (['0000', '(none)', 'none', 'null', 'a1a1'].includes(text.toLowerCase())) {
    return { ok: false, category: 'illegal_move', text, detail: `null move "${text}" although ${legal.length} legal moves exist` };
  }
  if (UCI_MOVE.test(text)) {
    let hint = '';
    if (legal.some((m) => m.lan.length === 5 && m.lan.startsWith(text))) hint = ' (promotion piece missing)';
    else if (text.length === 5 && legal.some((m) => m.lan === text.slice(0, 4))) hint = ' (promotion suffix on a non-promotion move)';
    else if (legal.some((m) => m.piece === 'k' && m.from === text.slice(0, 2) && (m.isKingsideCastle() || m.isQueensideCastle()) &&
      chess.get(text.slice(2, 4))?.type === 'r' && chess.get(text.slice(2, 4))?.color === chess.turn()))
      hint = ' (king-takes-rook castling notation)';
    return { ok: false, category: 'illegal_move', text, detail: `illegal move "${text}"${hint}` };
  }
  let hint = '';
  if (/^[a-h][1-8][a-h][1-8][QRBN]$/.test(text)) hint = ' (upper-case promotion piece)';
  return { ok: false, category: 'unparsable_move', text, detail: `unparsable move text "${text}"${hint}` };
}

/** Game end by the rules, checked before each move. */
export function ruleEnd(chess) {
  const mover = chess.turn() === 'w' ? 'White' : 'Black';
  if (chess.isCheckmate()) {
    return { result: chess.turn() === 'w' ? '0-1' : '1-0', reason: 'checkmate', detail: `${mover === 'White' ? 'Black' : 'White'} mates` };
  }
  if (chess.isStalemate()) return { result: '1/2-1/2', reason: 'stalemate', detail: 'Draw by stalemate' };
  if (chess.isInsufficientMaterial()) return { result: '1/2-1/2', reason: 'insufficient_material', detail: 'Draw by insufficient mating material' };
  if (chess.isDrawByFiftyMoves()) return { result: '1/2-1/2', reason: 'fifty_moves', detail: 'Draw by fifty-move rule' };
  if (chess.isThreefoldRepetition()) return { result: '1/2-1/2', reason: 'threefold_repetition', detail: 'Draw by threefold repetition' };
  return null;
}

function onlyKing(chess, color) {
  for (const row of chess.board()) for (const sq of row) if (sq && sq.color === color && sq.type !== 'k') return false;
  return true;
}

// ---------------------------------------------------------------- info lines

const INFO_NUM = new Set(['depth', 'seldepth', 'nodes', 'nps', 'time', 'hashfull', 'tbhits', 'multipv', 'currmovenumber', 'cpuload', 'sbhits', 'bbhits']);

export function parseInfo(line, st) {
  const t = line.trim().split(/\s+/);
  const v = {};
  let score = null;
  for (let i = 1; i < t.length; ) {
    const k = t[i];
    if (INFO_NUM.has(k)) {
      const n = Number(t[i + 1]);
      if (Number.isFinite(n)) v[k] = n;
      i += 2;
    } else if (k === 'score') {
      const kind = t[i + 1];
      const n = Number(t[i + 2]);
      i += 3;
      if ((kind === 'cp' || kind === 'mate') && Number.isFinite(n)) score = { [kind]: n };
      while (t[i] === 'lowerbound' || t[i] === 'upperbound') {
        if (score) score.bound = t[i];
        i++;
      }
    } else if (k === 'currmove') i += 2;
    else if (k === 'pv' || k === 'string' || k === 'refutation' || k === 'currline') break;
    else i++;
  }
  if (v.multipv !== undefined && v.multipv !== 1) return;
  if (v.depth !== undefined) st.depth = v.depth;
  if (v.nodes !== undefined) st.nodes = v.nodes;
  if (v.nps !== undefined) st.nps = v.nps;
  if (v.time !== undefined) st.time = v.time;
  if (score) {
    st.score = score;
    st.scoreDepth = v.depth ?? st.depth;
  }
}

export function scoreToCp(score) {
  if (!score) return null;
  if (score.cp !== undefined) return score.cp;
  return score.mate > 0 ? MATE_CP - score.mate : -MATE_CP - score.mate;
}

function scoreText(score) {
  if (!score) return '';
  if (score.cp !== undefined) return `${score.cp >= 0 ? '+' : '-'}${(Math.abs(score.cp) / 100).toFixed(2)}`;
  return score.mate > 0 ? `+M${score.mate}` : `-M${-score.mate}`;
}

// ---------------------------------------------------------------- statistics

function erf(x) {
  // Abramowitz & Stegun 7.1.26 (abs. error < 1.5e-7)
  const s = Math.sign(x);
  const a = Math.abs(x);
  const t = 1 / (1 + 0.3275911 * a);
  const y = 1 - ((((1.061405429 * t - 1.453152027) * t + 1.421413741) * t - 0.284496736) * t + 0.254829592) * t * Math.exp(-a * a);
  return s * y;
}

const eloOf = (p) => (p <= 0 ? -Infinity : p >= 1 ? Infinity : -400 * Math.log10(1 / p - 1));

/** Elo difference and 95% margin from W/D/L (logistic model, trinomial variance). */
export function eloStats(w, d, l) {
  const n = w + d + l;
  if (!n) return null;
  const mu = (w + d / 2) / n;
  const variance = (w * (1 - mu) ** 2 + d * (0.5 - mu) ** 2 + l * mu ** 2) / n;
  const se = Math.sqrt(variance / n);
  const z = 1.959963984540054;
  const lo = eloOf(mu - z * se);
  const hi = eloOf(mu + z * se);
  const margin = Number.isFinite(lo) && Number.isFinite(hi) ? (hi - lo) / 2 : Infinity;
  const los = w + l > 0 ? 0.5 * (1 + erf((w - l) / Math.sqrt(2 * (w + l)))) : 0.5;
  return { games: n, score: mu, elo: eloOf(mu), margin, eloLow: lo, eloHigh: hi, los, drawRatio: d / n };
}

const fmtElo = (x) => (Number.isFinite(x) ? `${x >= 0 ? '+' : ''}${x.toFixed(1)}` : x > 0 ? '+inf' : '-inf');
const fmtNum = (x) => (x >= 1e6 ? `${(x / 1e6).toFixed(2)}M` : x >= 1e3 ? `${(x / 1e3).toFixed(1)}k` : `${Math.round(x)}`);

// ---------------------------------------------------------------- engine process

const liveEngines = new Set();
let logFd = null;
const t00 = performance.now();

function logLine(s) {
  if (logFd === null) return;
  try {
    fs.writeSync(logFd, `${((performance.now() - t00) / 1000).toFixed(3)} ${s}\n`);
  } catch {
    /* ignore */
  }
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function describeExit(x) {
  if (!x) return 'still running';
  if (x.error) return `could not run: ${x.error}`;
  if (x.signal) return `killed by signal ${x.signal}`;
  return `exited with code ${x.code}`;
}

class Engine {
  constructor(setup, idx, worker, ctx) {
    this.setup = setup;
    this.idx = idx; // 0 = engine 1, 1 = engine 2 (match view)
    this.worker = worker;
    this.ctx = ctx;
    this.limits = setup.limits;
    this.child = null;
    this.exitInfo = null;
    this.instance = 0;
  }

  /** Usable: started, not exited, not being killed. */
  get running() {
    return !!this.child && !this.exitInfo && !this.exitPending && !this.killed;
  }

  /** Wait until a process that ended (or that we killed) has been fully reported. */
  async settle() {
    if (this.child && !this.exitInfo && (this.exitPending || this.killed)) await Promise.race([this.exitPromise, sleep(2000)]);
  }

  get tag() {
    return `[w${this.worker} e${this.idx + 1}#${this.instance}${this.child?.pid ? ' pid ' + this.child.pid : ''}]`;
  }

  /** Spawn the process and run the uci / setoption / isready handshake. */
  async start() {
    const { setup, ctx } = this;
    if (this.child && !this.exitInfo) {
      // never run two processes for one engine slot: finish off the old one first
      this.kill();
      await Promise.race([this.exitPromise, sleep(2000)]);
    }
    this.instance++;
    this.buf = '';
    this.listener = null;
    this.exitInfo = null;
    this.exitPending = false;
    this.killed = false;
    this.stderrTail = [];
    this.ids = {};
    this.declared = new Map();
    this.gamesOnInstance = 0;
    this.exitReported = false;
    this.exitWatchers = new Set();
    this.exitPromise = new Promise((r) => (this._resolveExit = r));
    let child;
    try {
      child = spawn(setup.cmd, setup.args, { cwd: setup.dir || undefined, stdio: ['pipe', 'pipe', 'pipe'], detached: true });
    } catch (err) {
      this.child = null;
      this._finalizeExit({ code: null, signal: null, error: err.message });
      return { ok: false, category: 'unresponsive', detail: `cannot start "${setup.cmd}": ${err.message}` };
    }
    this.child = child;
    liveEngines.add(this);
    logLine(`${this.tag} started: ${setup.cmd} ${setup.args.join(' ')}${setup.dir ? ` (in ${setup.dir})` : ''}`);
    let stdoutEnded = false;
    const stdoutEnd = new Promise((r) => child.stdout.on('end', () => ((stdoutEnded = true), r())));
    const mine = () => this.child === child; // ignore events of an earlier process of this slot
    child.on('error', (err) => {
      if (mine() && !child.pid) this._finalizeExit({ code: null, signal: null, error: err.message });
    });
    child.on('exit', (code, signal) => {
      if (!mine()) return;
      // let the last output lines arrive before the exit is reported
      this.exitPending = true;
      const x = { code, signal };
      if (stdoutEnded) this._finalizeExit(x);
      else Promise.race([stdoutEnd, sleep(200)]).then(() => mine() && this._finalizeExit(x));
    });
    child.stdin.on('error', () => {});
    child.stdout.setEncoding('utf8');
    child.stderr.setEncoding('utf8');
    child.stdout.on('data', (d) => mine() && this._onData(d));
    child.stderr.on('data', (d) => mine() && this._onStderr(d));

    this.send('uci');
    let r = await this.waitFor((l) => l.trim() === 'uciok', ctx.opts.uciTimeout, (l) => this._parseHandshake(l));
    if (r.type !== 'line') return this._startFail(r, `"uciok" within ${ctx.opts.uciTimeout} ms of "uci"`);
    for (const [name, value] of setup.options) {
      if (!this.declared.has(name.toLowerCase()) && !ctx.warnedOptions.has(`${this.idx}:${name}`)) {
        ctx.warnedOptions.add(`${this.idx}:${name}`);
        warn(`engine ${this.idx + 1} (${this.ids.name ?? setup.cmd}) does not declare option "${name}"; sending it anyway`);
      }
      this.send(value === '' ? `setoption name ${name}` : `setoption name ${name} value ${value}`);
    }
    r = await this.sync();
    if (r.type !== 'line') return this._startFail(r, `"readyok" within ${ctx.opts.readyTimeout} ms of "isready"`);
    return { ok: true };
  }

  _startFail(r, what) {
    const x = this.exitInfo;
    this.kill();
    if (r.type === 'exit' && x?.error) return { ok: false, category: 'unresponsive', detail: `cannot start "${this.setup.cmd}": ${x.error}` };
    if (r.type === 'exit') return { ok: false, category: 'crash', detail: `process ${describeExit(x)} during start-up${this._stderrHint()}` };
    return { ok: false, category: 'unresponsive', detail: `no ${what}` };
  }

  _parseHandshake(line) {
    const t = line.trim();
    let m;
    if ((m = /^id\s+name\s+(.*)$/.exec(t))) this.ids.name = m[1].trim();
    else if ((m = /^id\s+author\s+(.*)$/.exec(t))) this.ids.author = m[1].trim();
    else if ((m = /^option\s+name\s+(.*?)\s+type\s+(\S+)/.exec(t))) this.declared.set(m[1].toLowerCase(), m[2]);
  }

  _stderrHint() {
    return this.stderrTail.length ? `; stderr: ${this.stderrTail.slice(-3).join(' | ')}` : '';
  }

  _onData(chunk) {
    const now = performance.now();
    this.buf += chunk;
    let i;
    while ((i = this.buf.indexOf('\n')) >= 0) {
      let line = this.buf.slice(0, i);
      this.buf = this.buf.slice(i + 1);
      if (line.endsWith('\r')) line = line.slice(0, -1);
      this._onLine(line, now);
    }
    if (this.buf.length > 1 << 20) {
      const line = this.buf;
      this.buf = '';
      this._onLine(line, now);
    }
  }

  _onStderr(chunk) {
    for (const l of chunk.split(/\r?\n/)) {
      if (!l.trim()) continue;
      logLine(`${this.tag} stderr ${l}`);
      this.stderrTail.push(l.trim().slice(0, 200));
      if (this.stderrTail.length > 10) this.stderrTail.shift();
    }
  }

  _onLine(line, t) {
    logLine(`${this.tag} < ${line}`);
    const l = this.listener;
    if (l) {
      if (l.onLine) l.onLine(line);
      if (l.pred(line)) {
        this.listener = null;
        clearTimeout(l.timer);
        l.resolve({ type: 'line', line, t });
      }
      return;
    }
    if (line.trim().split(/\s+/)[0] === 'bestmove') this.ctx.stats[this.idx].strayBestmoves++;
  }

  _finalizeExit(x) {
    if (this.exitInfo) return;
    this.exitInfo = { ...x, at: performance.now() };
    liveEngines.delete(this);
    logLine(`${this.tag} process ${describeExit(this.exitInfo)}${this.killed ? ' (killed by match.mjs)' : ''}`);
    const l = this.listener;
    if (l) {
      this.listener = null;
      clearTimeout(l.timer);
      l.resolve({ type: 'exit' });
    }
    this._resolveExit(this.exitInfo);
    for (const cb of this.exitWatchers) cb();
    this.exitWatchers.clear();
  }

  /** A promise for this process's exit that can be dropped again (no leak per move). */
  watchExit() {
    let cb;
    const promise = new Promise((r) => (cb = r)).then(() => ({ type: 'otherExit' }));
    if (this.exitInfo || !this.child) cb();
    else this.exitWatchers.add(cb);
    return { promise, cancel: () => this.exitWatchers?.delete(cb) };
  }

  /** Wait for a line matching pred; resolves {type:'line'|'timeout'|'exit'|'cancelled'}. */
  waitFor(pred, timeoutMs, onLine) {
    return new Promise((resolve) => {
      if (this.exitInfo || !this.child) return resolve({ type: 'exit' });
      if (this.listener) throw new Error('internal error: two waits on one engine');
      const l = { pred, onLine, resolve };
      l.timer = setTimeout(() => {
        if (this.listener === l) {
          this.listener = null;
          resolve({ type: 'timeout' });
        }
      }, Math.max(0, timeoutMs));
      this.listener = l;
    });
  }

  cancelWait() {
    const l = this.listener;
    if (!l) return;
    this.listener = null;
    clearTimeout(l.timer);
    l.resolve({ type: 'cancelled' });
  }

  send(line) {
    if (!this.child || this.exitInfo || this.killed || this.child.stdin.destroyed) return false;
    logLine(`${this.tag} > ${line}`);
    try {
      this.child.stdin.write(line + '\n');
    } catch {
      return false;
    }
    return true;
  }

  sync() {
    this.send('isready');
    return this.waitFor((l) => l.trim() === 'readyok', this.ctx.opts.readyTimeout);
  }

  async newGame() {
    this.send('ucinewgame');
    const r = await this.sync();
    if (r.type === 'line') return { ok: true };
    if (r.type === 'exit') return { ok: false, category: 'crash', detail: `process ${describeExit(this.exitInfo)} before the game${this._stderrHint()}` };
    return { ok: false, category: 'unresponsive', detail: `no "readyok" within ${this.ctx.opts.readyTimeout} ms of "ucinewgame"/"isready"` };
  }

  /**
   * Send position + go and wait for bestmove. deadlineMs counts from "go"; when it
   * passes, "stop" is sent and graceMs more are granted. `other` is the idle
   * opponent, whose exit ends the wait.
   */
  async think(posCmd, goCmd, deadlineMs, graceMs, other) {
    const info = {};
    const onLine = (l) => {
      if (l.startsWith('info')) parseInfo(l, info);
    };
    const isBest = (l) => l.trim().split(/\s+/)[0] === 'bestmove';
    const watch = other.watchExit();
    try {
      return await this._think(posCmd, goCmd, deadlineMs, graceMs, watch.promise, info, onLine, isBest);
    } finally {
      watch.cancel();
    }
  }

  async _think(posCmd, goCmd, deadlineMs, graceMs, otherExit, info, onLine, isBest) {
    this.send(posCmd);
    const t0 = performance.now();
    this.send(goCmd);
    let r = await Promise.race([this.waitFor(isBest, deadlineMs, onLine), otherExit]);
    let late = false;
    if (r.type === 'timeout') {
      late = true;
      this.send('stop');
      r = await Promise.race([this.waitFor(isBest, graceMs, onLine), otherExit]);
    }
    if (r.type === 'otherExit') {
      this.cancelWait();
      // the opponent died while we were thinking: make this engine idle again
      if (this.running) {
        this.send('stop');
        const s = await this.waitFor(isBest, graceMs);
        if (s.type !== 'line') this.kill();
      }
      return { kind: 'otherExit' };
    }
    if (r.type === 'line') return { kind: 'move', line: r.line, elapsed: r.t - t0, late, info };
    if (r.type === 'exit') return { kind: 'crash', elapsed: performance.now() - t0, info };
    return { kind: 'hang', elapsed: performance.now() - t0, info };
  }

  async quit() {
    if (!this.running) return;
    this.send('quit');
    try {
      this.child.stdin.end();
    } catch {
      /* ignore */
    }
    const r = await Promise.race([this.exitPromise.then(() => 'exited'), sleep(this.ctx.opts.quitTimeout).then(() => 'timeout')]);
    if (r === 'timeout') {
      logLine(`${this.tag} did not exit within ${this.ctx.opts.quitTimeout} ms of "quit"; killing it`);
      this.kill();
      await Promise.race([this.exitPromise, sleep(2000)]);
    }
  }

  /** Kill the process (and its process group) by PID; synchronous. */
  kill() {
    const c = this.child;
    if (!c || !c.pid || c.exitCode !== null || c.signalCode !== null) return;
    this.killed = true;
    try {
      process.kill(-c.pid, 'SIGKILL'); // detached: the engine leads its own process group
    } catch {
      try {
        c.kill('SIGKILL');
      } catch {
        /* already gone */
      }
    }
  }
}

function killAllEngines() {
  for (const e of [...liveEngines]) e.kill();
}

// ---------------------------------------------------------------- games

const PGN_TERMINATION = {
  checkmate: 'normal', stalemate: 'normal', insufficient_material: 'normal', fifty_moves: 'normal',
  threefold_repetition: 'normal', adjudication_draw: 'adjudication', adjudication_resign: 'adjudication',
  adjudication_maxmoves: 'adjudication', time_forfeit: 'time forfeit', illegal_move: 'rules infraction',
  unparsable_move: 'rules infraction', crash: 'abandoned', no_bestmove: 'abandoned', unresponsive: 'abandoned',
};

function warn(msg) {
  process.stderr.write(`warning: ${msg}\n`);
  logLine(`warning: ${msg}`);
}

function buildGo(side, eng, clocks) {
  const L = eng[side].limits;
  const p = ['go'];
  if (L.tc) {
    const own = clocks[side];
    const opp = clocks[1 - side] ?? own; // an opponent without a clock is shown our own clock
    const wc = side === 0 ? own : opp;
    const bc = side === 0 ? opp : own;
    p.push('wtime', Math.max(1, Math.round(wc.remaining)), 'btime', Math.max(1, Math.round(bc.remaining)));
    if (wc.tc.inc) p.push('winc', wc.tc.inc);
    if (bc.tc.inc) p.push('binc', bc.tc.inc);
    if (own.tc.moves) p.push('movestogo', own.tc.moves - (own.moves % own.tc.moves));
  } else if (L.movetime) p.push('movetime', L.movetime);
  if (L.nodes) p.push('nodes', L.nodes);
  if (L.depth) p.push('depth', L.depth);
  return p.join(' ');
}

function adjudicate(opts, scores, side, plies) {
  const ra = opts.resignAdj;
  if (ra) {
    const own = scores[side].slice(-ra.moves);
    const opp = scores[1 - side].slice(-ra.moves);
    if (own.length === ra.moves && own.every((s) => s !== null && s <= -ra.score) &&
      (!ra.twosided || (opp.length === ra.moves && opp.every((s) => s !== null && s >= ra.score)))) {
      const who = side === 0 ? 'White' : 'Black';
      return { result: side === 0 ? '0-1' : '1-0', reason: 'adjudication_resign', detail: `${who} resigns by adjudication (score <= -${ra.score} cp for ${ra.moves} moves)` };
    }
  }
  const da = opts.drawAdj;
  if (da && Math.floor(plies / 2) >= da.movenumber) {
    const a = scores[0].slice(-da.moves);
    const b = scores[1].slice(-da.moves);
    if (a.length === da.moves && b.length === da.moves && [...a, ...b].every((s) => s !== null && Math.abs(s) <= da.score)) {
      return { result: '1/2-1/2', reason: 'adjudication_draw', detail: `Draw by adjudication (|score| <= ${da.score} cp for ${da.moves} moves)` };
    }
  }
  if (opts.maxmoves && plies >= 2 * opts.maxmoves) {
    return { result: '1/2-1/2', reason: 'adjudication_maxmoves', detail: `Draw by adjudication (${opts.maxmoves} moves played)` };
  }
  return null;
}

async function playGame(ctx, job, pair) {
  const { opts } = ctx;
  const eng = job.e1White ? [pair[0], pair[1]] : [pair[1], pair[0]]; // [white, black]
  const color = ['White', 'Black'];
  const game = { round: job.round, openingIdx: job.openingIdx, eng, start: new Date(), moves: [], faults: [] };
  const chess = new Chess(job.opening.fen);
  const startFen = chess.fen();
  game.startFen = startFen;

  const fault = (side, category, detail, extra = {}) => {
    const e = eng[side];
    ctx.faultCounts[e.idx][category]++;
    if (category === 'crash') e.exitReported = true;
    const f = { round: job.round, engine: ctx.names[e.idx], engineIndex: e.idx + 1, color: color[side], category, detail, ply: game.moves.length, ...extra };
    ctx.faultList.push(f);
    game.faults.push(f);
  };
  const end = (result, reason, detail) => Object.assign(game, { result, reason, detail });

  // 1. processes up and running
  const failed = [];
  for (let side = 0; side < 2; side++) {
    const e = eng[side];
    await e.settle();
    if (e.child && e.exitInfo && !e.killed && !e.exitReported) {
      // the process ended on its own after its last game (e.g. right after its final bestmove)
      e.exitReported = true;
      failed.push({ side, category: 'crash', detail: `process ${describeExit(e.exitInfo)} between games${e._stderrHint()}` });
      continue;
    }
    if (e.running && opts.restart && e.gamesOnInstance > 0) await e.quit();
    if (!e.running) {
      const r = await e.start();
      if (!r.ok) {
        failed.push({ side, ...r });
        if (++ctx.startFailures[e.idx] >= 3) ctx.fatal = `engine ${e.idx + 1} (${ctx.names[e.idx]}) failed to start 3 times in a row: ${r.detail}`;
      } else ctx.startFailures[e.idx] = 0;
    }
  }
  // 2. ucinewgame + isready
  if (!failed.length) {
    const rs = await Promise.all(eng.map((e) => e.newGame()));
    rs.forEach((r, side) => r.ok || failed.push({ side, ...r }));
  }
  if (failed.length) {
    for (const f of failed) {
      fault(f.side, f.category, `${color[f.side]}: ${f.detail}`, { phase: 'game start' });
      eng[f.side].kill();
    }
    const f = failed[0];
    if (failed.length === 1) end(f.side === 0 ? '0-1' : '1-0', f.category, `${color[f.side]} ${f.category === 'crash' ? 'crashed' : 'did not respond'}: ${f.detail}`);
    else end('*', f.category, `Both engines failed before the game: ${failed.map((x) => x.detail).join('; ')}`);
    return game;
  }
  eng.forEach((e) => e.gamesOnInstance++);

  // 3. moves
  const posBase = startFen === START_FEN ? 'startpos' : `fen ${startFen}`;
  const lans = [];
  const clocks = eng.map((e) => (e.limits.tc ? { tc: e.limits.tc, remaining: e.limits.tc.base, moves: 0 } : null));
  const scores = [[], []];
  for (;;) {
    if (ctx.aborted) return end('*', 'aborted', 'Match aborted'), game;
    const over = ruleEnd(chess);
    if (over) {
      end(over.result, over.reason, over.detail);
      break;
    }
    const side = chess.turn() === 'w' ? 0 : 1;
    const mover = eng[side];
    const other = eng[1 - side];
    const st = ctx.stats[mover.idx];
    const L = mover.limits;
    const posCmd = lans.length ? `position ${posBase} moves ${lans.join(' ')}` : `position ${posBase}`;
    const goCmd = buildGo(side, eng, clocks);
    const clockMode = !!(L.tc || L.movetime);
    const allowed = L.tc ? clocks[side].remaining : L.movetime ? L.movetime : opts.moveTimeout;
    const deadline = allowed + (clockMode ? opts.timemargin : 0);
    const fen = chess.fen();
    const where = { fen, position: posCmd, go: goCmd };
    const r = await mover.think(posCmd, goCmd, deadline, opts.stopGrace, other);
    const winOther = side === 0 ? '0-1' : '1-0';

    if (r.kind === 'otherExit') {
      const d = `process ${describeExit(other.exitInfo)} while ${color[side].toLowerCase()} was thinking${other._stderrHint()}`;
      fault(1 - side, 'crash', d, where);
      end(side === 0 ? '1-0' : '0-1', 'crash', `${color[1 - side]} crashed: ${d}`);
      break;
    }
    if (r.kind === 'crash') {
      const d = `process ${describeExit(mover.exitInfo)} after ${Math.round(r.elapsed)} ms of thinking${mover._stderrHint()}`;
      fault(side, 'crash', d, where);
      end(winOther, 'crash', `${color[side]} crashed: ${d}`);
      break;
    }
    if (r.kind === 'hang') {
      const d = `no bestmove within ${deadline} ms${clockMode ? ' (clock + margin)' : ' (--move-timeout)'} nor ${opts.stopGrace} ms after "stop"`;
      fault(side, 'no_bestmove', d, where);
      mover.kill();
      end(winOther, 'no_bestmove', `${color[side]} did not answer: ${d}`);
      break;
    }
    const elapsed = r.elapsed;
    if (clockMode && elapsed > allowed + opts.timemargin) {
      const d = `used ${Math.round(elapsed)} ms, had ${Math.round(allowed)} ms${L.movetime ? ' (movetime)' : ''} + ${opts.timemargin} ms margin`;
      fault(side, 'time_forfeit', d, { ...where, elapsedMs: Math.round(elapsed) });
      if (onlyKing(chess, side === 0 ? 'b' : 'w')) end('1/2-1/2', 'time_forfeit', `${color[side]} loses on time, but ${color[1 - side]} has a bare king: draw (${d})`);
      else end(winOther, 'time_forfeit', `${color[side]} loses on time: ${d}`);
      break;
    }
    if (r.late) st.stopNeeded++;
    const j = judgeBestmove(chess, r.line);
    if (!j.ok) {
      fault(side, j.category, j.detail, { ...where, bestmove: r.line.trim() });
      end(winOther, j.category, `${color[side]} ${j.category === 'illegal_move' ? 'makes an illegal move' : 'sends an unparsable move'}: ${j.detail}`);
      break;
    }
    const mv = chess.move({ from: j.move.from, to: j.move.to, promotion: j.move.promotion });
    lans.push(mv.lan);
    const info = r.info;
    game.moves.push({ san: mv.san, lan: mv.lan, elapsed, score: info.score, depth: info.scoreDepth ?? info.depth });
    // statistics
    st.moves++;
    st.timeMs += elapsed;
    st.maxTimeMs = Math.max(st.maxTimeMs, elapsed);
    const dep = info.scoreDepth ?? info.depth;
    if (dep !== undefined) (st.depthSum += dep), st.depthN++;
    let nps = info.nps;
    // some engines report no nps, or always 0 (Toga II 3.0): fall back to nodes / time
    if (!nps && info.nodes > 0 && info.time > 0) nps = (info.nodes * 1000) / info.time;
    if (nps !== undefined) (st.npsSum += nps), st.npsN++;
    // clock
    if (L.tc) {
      const c = clocks[side];
      c.remaining -= elapsed;
      st.minClockMs = st.minClockMs === null ? c.remaining : Math.min(st.minClockMs, c.remaining);
      c.remaining += c.tc.inc;
      c.moves++;
      if (c.tc.moves && c.moves % c.tc.moves === 0) c.remaining += c.tc.base;
    }
    scores[side].push(scoreToCp(info.score));
    if (!chess.isGameOver()) {
      const adj = adjudicate(opts, scores, side, game.moves.length);
      if (adj) {
        end(adj.result, adj.reason, adj.detail);
        break;
      }
    }
  }
  return game;
}

// ---------------------------------------------------------------- PGN

// many PGN readers do not handle \" escapes: use single quotes inside tag values
const tagEsc = (s) => String(s).replace(/\\/g, '/').replace(/"/g, "'");
const cmtEsc = (s) => String(s).replace(/[{}]/g, (c) => (c === '{' ? '(' : ')')).replace(/\s+/g, ' ');

function pad2(n) {
  return String(n).padStart(2, '0');
}

export function gamePgn(ctx, game) {
  const { opts } = ctx;
  const w = game.eng[0];
  const b = game.eng[1];
  const d = game.start;
  const tags = [
    ['Event', opts.event], ['Site', opts.site], ['Date', `${d.getFullYear()}.${pad2(d.getMonth() + 1)}.${pad2(d.getDate())}`],
    ['Round', String(game.round)], ['White', ctx.names[w.idx]], ['Black', ctx.names[b.idx]], ['Result', game.result],
  ];
  if (game.startFen !== START_FEN) tags.push(['SetUp', '1'], ['FEN', game.startFen]);
  const lw = limitsText(w.limits);
  const lb = limitsText(b.limits);
  if (lw === lb) tags.push(['TimeControl', lw]);
  else tags.push(['WhiteTimeControl', lw], ['BlackTimeControl', lb]);
  tags.push(['Termination', PGN_TERMINATION[game.reason] ?? 'unterminated']);
  tags.push(['TerminationDetails', game.detail]);
  tags.push(['PlyCount', String(game.moves.length)]);
  if (game.openingIdx !== null) tags.push(['OpeningLine', String(ctx.openings[game.openingIdx].line)]); // line in --openings file
  const head = tags.map(([k, v]) => `[${k} "${tagEsc(v)}"]`).join('\n');

  const f = game.startFen.split(' ');
  let white = f[1] === 'w';
  let num = Number(f[5]) || 1;
  const toks = [];
  game.moves.forEach((m, i) => {
    if (white) toks.push(`${num}.`);
    else if (i === 0) toks.push(`${num}...`);
    toks.push(m.san);
    const s = scoreText(m.score);
    const parts = [];
    if (s || m.depth !== undefined) parts.push(`${s}${m.depth !== undefined ? `/${m.depth}` : ''}`);
    parts.push(`${(m.elapsed / 1000).toFixed(3)}s`);
    // one comment per move (several in a row trip up some readers): the last carries the termination
    toks.push(`{${parts.join(' ')}${i === game.moves.length - 1 ? `, ${cmtEsc(game.detail)}` : ''}}`);
    if (!white) num++;
    white = !white;
  });
  if (!game.moves.length) toks.push(`{${cmtEsc(game.detail)}}`);
  toks.push(game.result);
  const lines = [];
  let cur = '';
  for (const t of toks) {
    if (cur && cur.length + 1 + t.length > 79) {
      lines.push(cur);
      cur = t;
    } else cur = cur ? `${cur} ${t}` : t;
  }
  if (cur) lines.push(cur);
  return `${head}\n\n${lines.join('\n')}\n\n`;
}

// ---------------------------------------------------------------- reporting

function e1Score(game) {
  if (game.result === '1/2-1/2') return 0.5;
  if (game.result === '*') return null;
  const whiteWon = game.result === '1-0';
  return whiteWon === (game.eng[0].idx === 0) ? 1 : 0;
}

export function buildSummary(ctx) {
  const { w, d, l } = ctx.tally;
  const e = eloStats(w, d, l);
  const engines = [0, 1].map((i) => {
    const s = ctx.stats[i];
    const counts = { ...ctx.faultCounts[i] };
    return {
      name: ctx.names[i], cmd: ctx.opts.engines[i].cmd, options: Object.fromEntries(ctx.opts.engines[i].options),
      limits: limitsText(ctx.opts.engines[i].limits),
      faults: counts, faultTotal: Object.values(counts).reduce((a, x) => a + x, 0),
      moves: s.moves, avgTimeMs: s.moves ? s.timeMs / s.moves : null, maxTimeMs: s.moves ? s.maxTimeMs : null,
      avgDepth: s.depthN ? s.depthSum / s.depthN : null, depthReportedMoves: s.depthN,
      avgNps: s.npsN ? s.npsSum / s.npsN : null, npsReportedMoves: s.npsN,
      minClockMs: s.minClockMs, stopNeeded: s.stopNeeded, strayBestmoves: s.strayBestmoves,
    };
  });
  return {
    tool: 'match.mjs', version: VERSION, startedAt: ctx.startedAt.toISOString(), finishedAt: new Date().toISOString(),
    aborted: !!ctx.aborted, fatal: ctx.fatal ?? null,
    settings: {
      games: ctx.opts.games, concurrency: ctx.opts.concurrency, openings: ctx.opts.openings ?? null,
      openingPositions: ctx.openings.length, seed: ctx.opts.seed ?? null, timemarginMs: ctx.opts.timemargin,
      drawAdjudication: ctx.opts.drawAdj ?? null, resignAdjudication: ctx.opts.resignAdj ?? null, maxmoves: ctx.opts.maxmoves ?? null,
    },
    engines,
    result: {
      engine1: ctx.names[0], engine2: ctx.names[1], gamesPlayed: w + d + l, unfinished: ctx.unfinished,
      wins: w, draws: d, losses: l, points: w + d / 2,
      scorePct: e ? 100 * e.score : null, elo: e ? e.elo : null, eloMargin95: e ? e.margin : null,
      los: e ? e.los : null, drawRatio: e ? e.drawRatio : null,
    },
    terminations: ctx.terminations,
    faultList: ctx.faultList,
    games: ctx.gameList,
  };
}

export function summaryText(sum) {
  const r = sum.result;
  const out = [];
  const n1 = r.engine1;
  const n2 = r.engine2;
  out.push('');
  out.push(`=== ${n1} vs ${n2}: ${r.gamesPlayed} games${r.unfinished ? ` (+${r.unfinished} without result)` : ''}${sum.aborted ? ' (ABORTED)' : ''} ===`);
  if (r.gamesPlayed) {
    out.push(`Result for ${n1}: W ${r.wins}  D ${r.draws}  L ${r.losses}   score ${r.points}/${r.gamesPlayed} = ${r.scorePct.toFixed(1)}%`);
    const m = Number.isFinite(r.eloMargin95) ? r.eloMargin95.toFixed(1) : 'inf';
    out.push(`Elo difference: ${fmtElo(r.elo)} +/- ${m} (95%)   LOS ${(100 * r.los).toFixed(1)}%   draw ratio ${(100 * r.drawRatio).toFixed(1)}%`);
  }
  const terms = Object.entries(sum.terminations).sort((a, b) => b[1] - a[1]).map(([k, v]) => `${k} ${v}`);
  if (terms.length) out.push(`Terminations: ${terms.join(', ')}`);
  out.push('Faults (games lost to engine errors):');
  for (const e of sum.engines) {
    const nz = Object.entries(e.faults).filter(([, v]) => v > 0).map(([k, v]) => `${k} ${v}`);
    out.push(`  ${e.name}: ${e.faultTotal === 0 ? 'none' : `${e.faultTotal} (${nz.join(', ')})`}`);
  }
  out.push('Engine statistics:');
  for (const e of sum.engines) {
    const p = [`moves ${e.moves}`];
    if (e.avgTimeMs !== null) p.push(`avg time ${(e.avgTimeMs / 1000).toFixed(3)}s (max ${(e.maxTimeMs / 1000).toFixed(3)}s)`);
    p.push(e.avgDepth !== null ? `avg depth ${e.avgDepth.toFixed(1)}` : 'depth not reported');
    p.push(e.avgNps !== null ? `avg nps ${fmtNum(e.avgNps)}` : 'nps not reported');
    if (e.minClockMs !== null) p.push(`min clock left ${Math.round(e.minClockMs)} ms`);
    if (e.stopNeeded) p.push(`needed "stop" ${e.stopNeeded}x`);
    if (e.strayBestmoves) p.push(`stray bestmoves ${e.strayBestmoves}`);
    out.push(`  ${e.name} [${e.limits}]: ${p.join(', ')}`);
  }
  if (sum.faultList.length) {
    out.push('Fault list:');
    for (const f of sum.faultList.slice(0, 20)) {
      out.push(`  game ${f.round}, ${f.engine} (${f.color}), ${f.category}: ${f.detail}`);
      if (f.position) out.push(`      ${f.position.length > 160 ? f.position.slice(0, 157) + '...' : f.position} | ${f.go}`);
    }
    if (sum.faultList.length > 20) out.push(`  ... ${sum.faultList.length - 20} more (see --json)`);
  }
  if (sum.fatal) out.push(`FATAL: ${sum.fatal}`);
  return out.join('\n');
}

// ---------------------------------------------------------------- main

function recordGame(ctx, game) {
  const s = e1Score(game);
  if (s === null) ctx.unfinished++;
  else if (s === 1) ctx.tally.w++;
  else if (s === 0) ctx.tally.l++;
  else ctx.tally.d++;
  ctx.terminations[game.reason] = (ctx.terminations[game.reason] ?? 0) + 1;
  ctx.gameList.push({
    round: game.round, white: ctx.names[game.eng[0].idx], black: ctx.names[game.eng[1].idx], result: game.result,
    reason: game.reason, detail: game.detail, plies: game.moves.length,
    openingLine: game.openingIdx !== null ? ctx.openings[game.openingIdx].line : null,
  });
  if (ctx.pgnFile) fs.appendFileSync(ctx.pgnFile, gamePgn(ctx, game));
  if (!ctx.opts.quiet) {
    const { w, d, l } = ctx.tally;
    const n = w + d + l;
    const pct = n ? ((100 * (w + d / 2)) / n).toFixed(1) : '-';
    const f = game.faults.length ? `  FAULT: ${game.faults.map((x) => `${x.engine} ${x.category}`).join(', ')}` : '';
    process.stdout.write(
      `[${String(++ctx.finished).padStart(String(ctx.opts.games).length)}/${ctx.opts.games}] game ${game.round}: ` +
      `${ctx.names[game.eng[0].idx]} - ${ctx.names[game.eng[1].idx]} ${game.result} (${game.reason}, ${game.moves.length} plies)` +
      `  | ${ctx.names[0]}: +${w} =${d} -${l} ${pct}%${f}\n`,
    );
  }
}

function finish(ctx, code) {
  if (ctx.done) return;
  ctx.done = true;
  killAllEngines();
  const sum = buildSummary(ctx);
  process.stdout.write(summaryText(sum) + '\n');
  if (ctx.opts.json) fs.writeFileSync(ctx.opts.json, JSON.stringify(sum, null, 2) + '\n');
  if (logFd !== null) fs.closeSync(logFd), (logFd = null);
  if (code === 0 && ctx.opts.failOnFault && sum.faultList.length) code = 3;
  process.exitCode = code;
  return sum;
}

export async function main(argv) {
  let opts;
  try {
    opts = parseArgs(argv);
  } catch (err) {
    if (err instanceof UsageError) {
      process.stderr.write(`match.mjs: ${err.message}\n`);
      return 2;
    }
    throw err;
  }
  if (opts.help) return process.stdout.write(HELP), 0;
  if (opts.version) return process.stdout.write(`${VERSION}\n`), 0;

  let openings = [{ fen: START_FEN, line: null }];
  let order = [0];
  try {
    if (opts.openings) {
      openings = loadOpenings(opts.openings);
      order = opts.seed !== undefined ? shuffled(openings.length, opts.seed) : [...openings.keys()];
    }
  } catch (err) {
    process.stderr.write(`match.mjs: ${err.message}\n`);
    return 2;
  }

  const ctx = {
    opts, openings, startedAt: new Date(), names: opts.engines.map((e) => e.name ?? path.basename(e.cmd)),
    tally: { w: 0, d: 0, l: 0 }, unfinished: 0, finished: 0, terminations: {}, gameList: [], faultList: [],
    faultCounts: [0, 1].map(() => Object.fromEntries(FAULT_CATEGORIES.map((c) => [c, 0]))),
    stats: [0, 1].map(() => ({ moves: 0, timeMs: 0, maxTimeMs: 0, depthSum: 0, depthN: 0, npsSum: 0, npsN: 0, minClockMs: null, stopNeeded: 0, strayBestmoves: 0 })),
    startFailures: [0, 0], warnedOptions: new Set(), aborted: false, fatal: null, pgnFile: opts.pgn ?? null,
  };
  if (opts.log) logFd = fs.openSync(opts.log, 'w');
  if (ctx.pgnFile) fs.writeFileSync(ctx.pgnFile, '');

  const threads = Math.max(...opts.engines.map((e) => Number(e.options.find(([n]) => n.toLowerCase() === 'threads')?.[1]) || 1));
  const cores = os.availableParallelism?.() ?? os.cpus().length;
  if (opts.concurrency * threads > cores)
    warn(`concurrency ${opts.concurrency} x ${threads} thread(s) exceeds ${cores} CPU cores; expect time forfeits that are not engine faults`);

  const onSignal = (sig) => {
    if (ctx.done) process.exit(130);
    process.stderr.write(`\nmatch.mjs: ${sig} received, stopping engines and reporting finished games\n`);
    ctx.aborted = true;
    finish(ctx, sig === 'SIGINT' ? 130 : 143);
    process.exit(process.exitCode);
  };
  process.on('SIGINT', onSignal);
  process.on('SIGTERM', onSignal);
  process.on('SIGHUP', onSignal);

  // workers: each owns one pair of engine processes
  const workers = Math.min(opts.concurrency, opts.games);
  const pairs = [...Array(workers).keys()].map((w) => [0, 1].map((i) => new Engine(opts.engines[i], i, w + 1, ctx)));

  // start the first pair before anything else, to catch bad configurations early
  for (const e of pairs[0]) {
    const r = await e.start();
    if (!r.ok) {
      process.stderr.write(`match.mjs: engine ${e.idx + 1} (${opts.engines[e.idx].cmd}) failed to start: ${r.category}: ${r.detail}\n`);
      killAllEngines();
      return 1;
    }
    if (!opts.engines[e.idx].name && e.ids.name) ctx.names[e.idx] = e.ids.name;
  }
  if (ctx.names[0] === ctx.names[1]) ctx.names[1] += ' (2)';
  if (!opts.quiet) {
    process.stdout.write(`${ctx.names[0]} [${limitsText(opts.engines[0].limits)}] vs ${ctx.names[1]} [${limitsText(opts.engines[1].limits)}], ` +
      `${opts.games} games, ${openings.length} opening position(s), concurrency ${workers}\n`);
  }

  let next = 0;
  const jobs = () => {
    if (ctx.aborted || ctx.fatal || next >= opts.games) return null;
    const g = next++;
    const pairNo = opts.noSwap ? g : Math.floor(g / 2);
    const oi = order[pairNo % order.length];
    return { round: g + 1, opening: openings[oi], openingIdx: opts.openings ? oi : null, e1White: opts.noSwap || g % 2 === 0 };
  };
  await Promise.all(pairs.map(async (pair) => {
    for (let job = jobs(); job; job = jobs()) {
      const game = await playGame(ctx, job, pair);
      if (ctx.done) return;
      recordGame(ctx, game);
    }
    await Promise.all(pair.map((e) => e.quit()));
  }));
  if (ctx.done) return process.exitCode;
  finish(ctx, ctx.fatal ? 1 : 0);
  return process.exitCode;
}

process.on('exit', killAllEngines);

const isMain = process.argv[1] && fs.realpathSync(process.argv[1]) === fs.realpathSync(fileURLToPath(import.meta.url));
if (isMain) {
  main(process.argv.slice(2)).then(
    (code) => {
      process.exitCode = code ?? process.exitCode ?? 0;
    },
    (err) => {
      killAllEngines();
      process.stderr.write(`match.mjs: internal error: ${err.stack ?? err}\n`);
      process.exit(1);
    },
  );
}
