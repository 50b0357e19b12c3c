// SPDX-License-Identifier: MIT
/// <reference types="node" />
import type { IncomingMessage, ServerResponse } from 'node:http';

/**
 * Labels of one sample: a plain object (its own enumerable string keys; symbol
 * keys are skipped), an array of `[name, value]` pairs, the text of one JSON
 * object, or `null`/`undefined` for none. Values are strings, or numbers and
 * booleans written as `String()` writes them. Labels are written sorted by name.
 */
export type Labels =
  | Readonly<Record<string, string | number | boolean>>
  | ReadonlyArray<readonly [string, string | number | boolean]>
  | string
  | null
  | undefined;

/** The kinds a `# TYPE` line names. */
export type MetricKind = 'counter' | 'gauge' | 'histogram' | 'summary' | 'untyped';

/**
 * A refusal of the library. `message` is the library's own text, such as
 * `invalid metric name`, `failed to parse labels JSON`,
 * `invalid label name in JSON` or `duplicate label name in JSON`.
 * A refused call leaves the writer's text exactly as it was (but see
 * {@link Writer.gauge}).
 */
export class PromfmtError extends Error {
  name: 'PromfmtError';
}

/**
 * A growable text buffer in the Prometheus text format (version 0.0.4),
 * written line by line by native code. Keep one and `reset()` it before each
 * scrape: once it has grown to a scrape's size it allocates no more memory.
 *
 * Every writing method returns `this`. Wrong argument types throw a
 * `TypeError` naming the argument; refusals throw {@link PromfmtError}.
 * A writer is not shared between threads (worker_threads each make their own).
 */
export class Writer {
  /** @param initialCapacity bytes to reserve up front (at least 64 are). */
  constructor(initialCapacity?: number);
  /** Appends `# HELP name text`; `\` and line feed in the text are escaped. */
  help(name: string, text: string): this;
  /** Appends `# TYPE name kind`. */
  type(name: string, kind: MetricKind): this;
  /**
   * Appends one sample line: `name{labels} value[ timestamp]`. Values are
   * written with 14 significant digits, `NaN`, `+Inf` or `-Inf`.
   * @param timestamp milliseconds since the epoch; written only when > 0.
   */
  sample(name: string, labels: Labels, value: number, timestamp?: number): this;
  /**
   * Appends a whole one-series gauge family: `# HELP` (when `help` is not
   * empty), `# TYPE name gauge` and the sample. When the sample is refused,
   * the HELP and TYPE lines stay.
   */
  gauge(name: string, help: string, labels: Labels, value: number): this;
  /** As {@link Writer.gauge}, with `# TYPE name counter`. No `_total` is added. */
  counter(name: string, help: string, labels: Labels, value: number): this;
  /** Empties the text and keeps the memory. */
  reset(): this;
  /** The text written so far. */
  toString(): string;
  /** A copy of the text's UTF-8 bytes. */
  toBuffer(): Buffer;
  /** Bytes of text written so far. */
  readonly length: number;
}

/** The subset of prom-client's `Registry` that the bridge reads. */
export interface RegistryLike {
  getMetricsAsArray(): ReadonlyArray<unknown>;
}

/** `text/plain; version=0.0.4; charset=utf-8`, as prom-client sends it. */
export const contentType: string;

/**
 * The text of every metric of a prom-client registry, as
 * `await register.metrics()` gives it: each metric's `get()` (collect
 * callbacks included) runs as prom-client runs it, then the lines are written
 * by native code on this thread. Rejects with what a collect callback threw,
 * a `TypeError` for a label value that is no string, number or boolean, or a
 * {@link PromfmtError}.
 * @param register prom-client's global `register` when omitted.
 */
export function metrics(register?: RegistryLike): Promise<string>;

/**
 * As {@link metrics}, but the text is written in a worker thread (Node-API
 * async work). The main thread only reads the values, `sliceSize` series
 * (default 2048) at a time, and lets the event loop run between slices, so
 * a scrape of a large registry never blocks it for long. Concurrent calls
 * are safe.
 */
export function metricsAsync(
  register?: RegistryLike,
  options?: { sliceSize?: number },
): Promise<string>;

/**
 * A request handler for `http.createServer()` or an Express route: answers
 * 200 with the scrape and {@link contentType}. A failure goes to Express's
 * `next(err)` when given, else it is answered with status 500 and the
 * error's message.
 * @param options.async `true` (default) renders with {@link metricsAsync},
 * `false` with {@link metrics}.
 */
export function handler(
  register?: RegistryLike,
  options?: { async?: boolean },
): (req: IncomingMessage, res: ServerResponse, next?: (err: unknown) => void) => void;
