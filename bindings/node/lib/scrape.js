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

  /**
   * The next values.length samples of the current family: text holds, for
   * each, its name and its labels JSON, each ended by a line feed.
   */
  samples(text, values) {
    native.scrapeSamples(this.#id, text, values);
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
