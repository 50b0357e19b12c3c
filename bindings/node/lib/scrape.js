// SPDX-License-Identifier: MIT
// Scrape: a registry's families and values handed to the addon as rows,
// then written there (render) or in a worker thread (renderAsync).
'use strict';
const native = require('./native');

class Scrape {
  #id = native.scrapeNew(this);

  /** The HELP and TYPE lines of the next family. */
  family(name, help, type) {
    native.scrapeFamily(this.#id, name, help, type);
  }

  #numbers = new Float64Array(64);

  /** Memory for the values of the next count samples, kept for the next. */
  numbers(count) {
    if (this.#numbers.length < count) this.#numbers = new Float64Array(count);
    return this.#numbers;
  }

  /**
   * The next count samples of the current family: text holds, for each,
   * its labels JSON, preceded when named by its name ('' for the family's),
   * each ended by a line feed; numbers() holds their values. ascii: text is
   * known to be ASCII.
   */
  samples(text, count, ascii, named) {
    native.scrapeSamples(this.#id, text, this.#numbers, count, ascii, named);
  }

  /** The text, written on this thread; the rows are cleared, memory kept. */
  render() {
    return native.scrapeRender(this.#id);
  }

  /** A Promise of the text, written in a worker thread; the rows are cleared. */
  renderAsync() {
    return native.scrapeRenderAsync(this.#id);
  }
}

module.exports = { Scrape };
